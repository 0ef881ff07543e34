// The commands of the menus, toolbar and accelerators: texts, prompts, images and keys.
#pragma once

#include <QString>

#include <vector>

struct SCommand {
    int nId;
    const char* pMenuText; // with its "&" mnemonic
    const char* pPrompt;   // status-bar text, then "\n" and the tooltip; nullptr for none
    const char* pIcon;     // resource path of its image, or nullptr
    const char* pShortcut; // key sequence shown in the menu, or nullptr
};

// Every command that has an action, in no particular order.
const std::vector<SCommand>& GetCommandTable();
const SCommand* FindCommand(int nId);

// The parts of a prompt.
QString PromptStatusText(const SCommand& cmd);
QString PromptToolTip(const SCommand& cmd);

// Toolbar buttons left to right; 0 marks a separator.
const std::vector<int>& GetToolbarButtons();

// The idle text of the status bar.
inline constexpr const char* IDLE_STATUS_TEXT = "For Help, press F1";
