#pragma once

// The numbered replies of an IRC server that this program acts on, by the names the IRC
// documents give them (RPL_WELCOME is welcome, ERR_NICKNAMEINUSE is nicknameInUse). Each
// compares with a parsed command: `message.command == irc_numeric::welcome`.

#include <QByteArrayView>

#include <algorithm>

namespace jackwell::irc_numeric {

// Registration.
inline constexpr QByteArrayView welcome = "001";   // RPL_WELCOME: registered
inline constexpr QByteArrayView isupport = "005";  // RPL_ISUPPORT: CASEMAPPING=, NICKLEN=, ...
inline constexpr QByteArrayView endOfMotd = "376"; // RPL_ENDOFMOTD: registration's news told
inline constexpr QByteArrayView noMotd = "422";    // ERR_NOMOTD: the same, without news

// Answers to commands.
inline constexpr QByteArrayView isOn = "303";           // RPL_ISON
inline constexpr QByteArrayView whoisAccount = "330";   // RPL_WHOISACCOUNT: nick account :text
inline constexpr QByteArrayView endOfWhois = "318";     // RPL_ENDOFWHOIS
inline constexpr QByteArrayView unknownCommand = "421"; // ERR_UNKNOWNCOMMAND
inline constexpr QByteArrayView namReply = "353";       // RPL_NAMREPLY: who is in a channel
inline constexpr QByteArrayView youreOper = "381";      // RPL_YOUREOPER

// Nicknames.
inline constexpr QByteArrayView noSuchNick = "401";          // ERR_NOSUCHNICK
inline constexpr QByteArrayView erroneousNickname = "432";   // ERR_ERRONEUSNICKNAME
inline constexpr QByteArrayView nicknameInUse = "433";       // ERR_NICKNAMEINUSE
inline constexpr QByteArrayView nickCollision = "436";       // ERR_NICKCOLLISION
inline constexpr QByteArrayView unavailableResource = "437"; // ERR_UNAVAILRESOURCE

// Watching nicknames (MONITOR).
inline constexpr QByteArrayView monOnline = "730";  // RPL_MONONLINE: nicks now online
inline constexpr QByteArrayView monOffline = "731"; // RPL_MONOFFLINE: nicks now offline

// The SASL login.
inline constexpr QByteArrayView loggedIn = "900";    // RPL_LOGGEDIN: nick prefix account :text
inline constexpr QByteArrayView nickLocked = "902";  // ERR_NICKLOCKED
inline constexpr QByteArrayView saslSuccess = "903"; // RPL_SASLSUCCESS
inline constexpr QByteArrayView saslFail = "904";    // ERR_SASLFAIL: wrong account or password
inline constexpr QByteArrayView saslTooLong = "905"; // ERR_SASLTOOLONG
inline constexpr QByteArrayView saslAborted = "906"; // ERR_SASLABORTED
inline constexpr QByteArrayView saslAlready = "907"; // ERR_SASLALREADY
inline constexpr QByteArrayView saslMechs = "908";   // RPL_SASLMECHS: the mechanisms on offer

// Channels.
inline constexpr QByteArrayView tooManyChannels = "405";   // ERR_TOOMANYCHANNELS
inline constexpr QByteArrayView channelIsFull = "471";     // ERR_CHANNELISFULL
inline constexpr QByteArrayView inviteOnlyChannel = "473"; // ERR_INVITEONLYCHAN
inline constexpr QByteArrayView bannedFromChannel = "474"; // ERR_BANNEDFROMCHAN
inline constexpr QByteArrayView badChannelKey = "475";     // ERR_BADCHANNELKEY

// Refusals of a connection while it registers (464 also answers a wrong OPER password).
inline constexpr QByteArrayView noPermForHost = "463";    // ERR_NOPERMFORHOST
inline constexpr QByteArrayView passwordMismatch = "464"; // ERR_PASSWDMISMATCH
inline constexpr QByteArrayView bannedFromServer = "465"; // ERR_YOUREBANNEDCREEP

// Operators and modes.
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
