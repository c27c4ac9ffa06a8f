#pragma once

// The card's controls: where each sits, how it looks and what a click on it
// does, in twips (15 to a pixel) as the card was designed. The background
// picture paints the button words exactly under the hot spots listed here.
//
// The table keeps each control's design name, which is also its objectName,
// so the card can be matched with its design by those names: "Label14" is
// START, "Text1" the name box, "Picture1(0)" reel 1. Everything else, tests
// included, finds a control through this table by what it is for.

#include "reels/card_constants.h"

#include <QRect>

#include <array>

namespace jackwell {

namespace card {
// The card window's design name, also its objectName.
inline constexpr const char* kFormName = "frmJackwell";
} // namespace card

struct Twips {
    int left;
    int top;
    int width;
    int height;
};

constexpr int toPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}
constexpr QRect toPixels(Twips t) {
    return QRect(toPixels(t.left), toPixels(t.top), toPixels(t.width), toPixels(t.height));
}

// How a label of the card looks.
enum class LabelLook {
    HotSpot,     // transparent, no caption: the painted word beneath is the button
    CardCaption, // transparent, white, 8.25 point bold, centred
    HoldButton,  // cyan, window-text colour, 8.25 point bold, centred, single border
    DrawCode,    // transparent, white, 12 point bold, centred
    CoinSlot,    // opaque black, single border, no caption
};

// What a click on a label, or its key (card_keys.h), does; None: the label takes no clicks.
enum class CardAction {
    None,
    FindHost,
    ResetCard,
    AskToRegister,
    InsertCoin,
    HoldReel1,
    HoldReel2,
    HoldReel3,
    Start,
    SendHolds,
    Finish,
    ShowPayouts,
    ShowOptions,
    ToggleChatWindow, // a key only: the card has no such label
    ShowStatistics,   // a key only
    ShowHint,         // a key only
};

// The card's labels by what they are for.
enum class CardLabelRole {
    GetHost,
    ResetCard,
    Register,
    OneGameHeading,
    CreditsHeading,
    TokensHeading,
    FreeGame,
    Credits,
    Tokens,
    CoinSlot,
    Hold1,
    Hold2,
    Hold3,
    Start,
    EspHold,
    Finish,
    Payouts,
    Options,
    FirstCode1,
    FirstCode2,
    FirstCode3,
    FinalCode1,
    FinalCode2,
    FinalCode3,
};
inline constexpr int kCardLabelCount = int(CardLabelRole::FinalCode3) + 1;

struct CardLabelControl {
    CardLabelRole role;
    const char* designName; // also the widget's objectName
    Twips place;
    LabelLook look;
    const char* caption; // the caption it starts with
    CardAction action;
};

namespace card {

inline constexpr QSize kClientSize{197, 302}; // 2955 by 4530 twips

// The name box, where the machinekeeper's name is shown; the player may type into it.
inline constexpr const char* kNameBoxName = "Text1";
inline constexpr Twips kNameBox{120, 120, 1575, 285};

// Top to bottom, in the order the controls are stacked.
inline constexpr std::array<CardLabelControl, kCardLabelCount> kLabels{{
    {CardLabelRole::GetHost,
     "Label4",
     {1800, 60, 975, 255},
     LabelLook::HotSpot,
     "",
     CardAction::FindHost},
    {CardLabelRole::ResetCard,
     "Label3",
     {120, 420, 1215, 255},
     LabelLook::HotSpot,
     "",
     CardAction::ResetCard},
    {CardLabelRole::Register,
     "Label2",
     {1680, 420, 1095, 255},
     LabelLook::HotSpot,
     "",
     CardAction::AskToRegister},
    {CardLabelRole::OneGameHeading,
     "Label1",
     {120, 710, 1095, 255},
     LabelLook::CardCaption,
     "One game",
     CardAction::None},
    {CardLabelRole::CreditsHeading,
     "Label9",
     {1200, 705, 735, 255},
     LabelLook::CardCaption,
     "Credits",
     CardAction::None},
    {CardLabelRole::TokensHeading,
     "Label17",
     {1920, 705, 855, 255},
     LabelLook::CardCaption,
     "Tokens",
     CardAction::None},
    {CardLabelRole::FreeGame,
     "Label10",
     {120, 960, 1095, 255},
     LabelLook::CardCaption,
     "Free Game",
     CardAction::None},
    {CardLabelRole::Credits,
     "Label11",
     {1200, 960, 735, 255},
     LabelLook::CardCaption,
     "0",
     CardAction::None},
    {CardLabelRole::Tokens,
     "Label12",
     {1920, 960, 855, 255},
     LabelLook::CardCaption,
     "(0)",
     CardAction::None},
    {CardLabelRole::CoinSlot,
     "Label13",
     {2450, 1500, 135, 615},
     LabelLook::CoinSlot,
     "",
     CardAction::InsertCoin},
    {CardLabelRole::Hold1,
     "Label6",
     {120, 2040, 735, 255},
     LabelLook::HoldButton,
     "HOLD",
     CardAction::HoldReel1},
    {CardLabelRole::Hold2,
     "Label7",
     {840, 2040, 735, 255},
     LabelLook::HoldButton,
     "HOLD",
     CardAction::HoldReel2},
    {CardLabelRole::Hold3,
     "Label8",
     {1560, 2040, 735, 255},
     LabelLook::HoldButton,
     "HOLD",
     CardAction::HoldReel3},
    {CardLabelRole::Start,
     "Label14",
     {120, 2400, 735, 450},
     LabelLook::HotSpot,
     "",
     CardAction::Start},
    {CardLabelRole::EspHold,
     "Label15",
     {840, 2400, 735, 450},
     LabelLook::HotSpot,
     "",
     CardAction::SendHolds},
    {CardLabelRole::Finish,
     "Label16",
     {1560, 2400, 735, 450},
     LabelLook::HotSpot,
     "",
     CardAction::Finish},
    {CardLabelRole::Payouts,
     "Label24",
     {120, 3000, 975, 330},
     LabelLook::HotSpot,
     "",
     CardAction::ShowPayouts},
    {CardLabelRole::Options,
     "Label25",
     {120, 3360, 975, 330},
     LabelLook::HotSpot,
     "",
     CardAction::ShowOptions},
    // The 1ST SPIN row: the first draw's codes of reels 1, 2, 3.
    {CardLabelRole::FirstCode1,
     "Label18",
     {1155, 3840, 195, 300},
     LabelLook::DrawCode,
     "0",
     CardAction::None},
    {CardLabelRole::FirstCode2,
     "Label19",
     {1635, 3840, 195, 300},
     LabelLook::DrawCode,
     "0",
     CardAction::None},
    {CardLabelRole::FirstCode3,
     "Label20",
     {2115, 3840, 195, 300},
     LabelLook::DrawCode,
     "0",
     CardAction::None},
    // The 2ND SPIN row: the final draw's codes.
    {CardLabelRole::FinalCode1,
     "Label21",
     {1155, 4200, 195, 300},
     LabelLook::DrawCode,
     "0",
     CardAction::None},
    {CardLabelRole::FinalCode2,
     "Label22",
     {1635, 4200, 195, 300},
     LabelLook::DrawCode,
     "0",
     CardAction::None},
    {CardLabelRole::FinalCode3,
     "Label23",
     {2115, 4200, 195, 300},
     LabelLook::DrawCode,
     "0",
     CardAction::None},
}};

// Every role has exactly one label.
static_assert([] {
    std::array<int, kCardLabelCount> seen{};
    for (const CardLabelControl& label : kLabels)
        ++seen[int(label.role)];
    for (int count : seen) {
        if (count != 1)
            return false;
    }
    return true;
}());

// The design name, also the objectName, of the label that plays `role`.
constexpr const char* designName(CardLabelRole role) {
    for (const CardLabelControl& label : kLabels) {
        if (label.role == role)
            return label.designName;
    }
    return "";
}

// Each reel's picture pair shares one place: the spinning reel picture
// ("Picture1(0)".."Picture1(2)") and, above it, the result picture
// ("Picture2".."Picture4").
struct ReelPictures {
    const char* reelDesignName;
    const char* resultDesignName;
    Twips place;
};
inline constexpr std::array<ReelPictures, 3> kReelPictures{{
    {"Picture1(0)", "Picture2", {120, 1320, 735, 735}},
    {"Picture1(1)", "Picture3", {840, 1320, 735, 735}},
    {"Picture1(2)", "Picture4", {1560, 1320, 735, 735}},
}};

// The card's own notice (a request the chat link gave up on), over the lightning beside PAYOUTS
// and OPTIONS, shown only while there is one. It takes no clicks.
inline constexpr const char* kNoticeName = "notice";
inline constexpr Twips kNotice{1155, 2970, 1080, 735};

// The picture-test corner, beyond the right edge where the player does not see
// it: a picture box and two buttons whose captions are their design names.
inline constexpr const char* kCornerPictureBoxName = "PictureTest";
inline constexpr Twips kCornerPictureBox{3720, 1560, 735, 735};
inline constexpr const char* kCornerChooseButtonName = "Command1"; // choose a picture
inline constexpr Twips kCornerChooseButton{3720, 2520, 855, 255};
inline constexpr const char* kCornerShowButtonName = "Command2"; // show the first extra picture
inline constexpr Twips kCornerShowButton{3720, 4080, 855, 495};

// Labels by reel.
inline constexpr std::array<CardLabelRole, 3> kHoldLabels{
    CardLabelRole::Hold1, CardLabelRole::Hold2, CardLabelRole::Hold3};
inline constexpr std::array<CardLabelRole, 3> kFirstCodeLabels{
    CardLabelRole::FirstCode1, CardLabelRole::FirstCode2, CardLabelRole::FirstCode3};
inline constexpr std::array<CardLabelRole, 3> kFinalCodeLabels{
    CardLabelRole::FinalCode1, CardLabelRole::FinalCode2, CardLabelRole::FinalCode3};

} // namespace card
} // namespace jackwell
