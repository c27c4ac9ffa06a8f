#pragma once

// The numbered replies of an IRC server that this program acts on, by the names the IRC
// documents give them (RPL_WELCOME is welcome, ERR_NICKNAMEINUSE is nicknameInUse). Each
// compares with a parsed command: `message.command == irc_numeric::welcome`.

#include <QByteArrayView>

#include <algorithm>

namespace jackwell::irc_numeric {

// Registration.
inline constexpr QByteArrayView welcome = "001";  // RPL_WELCOME: registered
inline constexpr QByteArrayView isupport = "005"; // RPL_ISUPPORT: CASEMAPPING=, NICKLEN=, ...

// Answers to commands.
inline constexpr QByteArrayView isOn = "303";      // RPL_ISON
inline constexpr QByteArrayView namReply = "353";  // RPL_NAMREPLY: who is in a channel
inline constexpr QByteArrayView youreOper = "381"; // RPL_YOUREOPER

// Nicknames.
inline constexpr QByteArrayView noSuchNick = "401";          // ERR_NOSUCHNICK
inline constexpr QByteArrayView erroneousNickname = "432";   // ERR_ERRONEUSNICKNAME
inline constexpr QByteArrayView nicknameInUse = "433";       // ERR_NICKNAMEINUSE
inline constexpr QByteArrayView nickCollision = "436";       // ERR_NICKCOLLISION
inline constexpr QByteArrayView unavailableResource = "437"; // ERR_UNAVAILRESOURCE

// Channels.
inline constexpr QByteArrayView tooManyChannels = "405";   // ERR_TOOMANYCHANNELS
inline constexpr QByteArrayView channelIsFull = "471";     // ERR_CHANNELISFULL
inline constexpr QByteArrayView inviteOnlyChannel = "473"; // ERR_INVITEONLYCHAN
inline constexpr QByteArrayView bannedFromChannel = "474"; // ERR_BANNEDFROMCHAN
inline constexpr QByteArrayView badChannelKey = "475";     // ERR_BADCHANNELKEY

// Operators and modes.
inline constexpr QByteArrayView passwordMismatch = "464";    // ERR_PASSWDMISMATCH
inline constexpr QByteArrayView unknownMode = "472";         // ERR_UNKNOWNMODE
inline constexpr QByteArrayView noPrivileges = "481";        // ERR_NOPRIVILEGES
inline constexpr QByteArrayView noOperHost = "491";          // ERR_NOOPERHOST
inline constexpr QByteArrayView userModeUnknownFlag = "501"; // ERR_UMODEUNKNOWNFLAG
inline constexpr QByteArrayView usersDontMatch = "502";      // ERR_USERSDONTMATCH

// Whether a command is a numbered reply (three digits) rather than a word.
constexpr bool isNumeric(QByteArrayView command) {
    return command.size() == 3 &&
           std::all_of(command.begin(), command.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace jackwell::irc_numeric
