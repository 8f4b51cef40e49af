// What each page of the wizard shows and how it sets up the main window's
// Back, Next and Cancel buttons: a null caption disables that button and
// leaves its text. One table for the pages and the page manager.
#pragma once

struct PageText {
    const char* title;
    const char* text;  // lines separated by line feeds
    const char* back;
    const char* next;
    const char* cancel;
};

namespace pages {

inline constexpr PageText kPresentation = {"Installation Utility Ready!", "Please read the presentation text:", nullptr,
                                           "Next >", "Cancel"};
inline constexpr PageText kAgreement = {
    "License Agreement",
    "Please carefully read the \"License Agreement\" terms:\n\n\n\n\n\n\n\n\n\n\nDo you accept? (Press \"Yes\" or "
    "\"No\")",
    "< Back", "Yes", "No"};
inline constexpr PageText kOptions = {
    "Installation Options",
    "Destination folder:\n\nAvailable installation modes:\n\nProgram group name:\n\nExisting program groups:", "< Back",
    "Next >", "Cancel"};
inline constexpr PageText kStart = {
    "Start Installation",
    "\nTo start the installation process just push the\n\"Start !\" button.\n\nNote: The installation utility "
    "will prompt you whenever\nnecessary.",
    "< Back", "Start !", "Cancel"};
inline constexpr PageText kConfirmation = {
    "Uninstallation", "\nAre you sure you want to completely uninstall\nthe aplication and all its components?",
    nullptr, "Yes", "No"};

}  // namespace pages
