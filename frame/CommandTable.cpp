#include "frame/CommandTable.h"

#include "frame/CommandIds.h"

const std::vector<SCommand>& GetCommandTable() {
    static const std::vector<SCommand> s_table = {
        {ID_FILE_NEW, "&New", "Create a new document\nNew", ":/icons/new.svg", "Ctrl+N"},
        {ID_FILE_OPEN, "&Open...", "Open an existing document\nOpen", ":/icons/open.svg", "Ctrl+O"},
        {ID_FILE_SAVE, "&Save", "Save the active document\nSave", ":/icons/save.svg", "Ctrl+S"},
        {ID_FILE_SAVE_AS, "Save &As...", "Save the active document with a new name\nSave As",
         nullptr, nullptr},
        {ID_FILE_EXPORT, "Export...", "Export all records from the active document\nExport",
         nullptr, nullptr},
        {ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents\nExit", nullptr,
         nullptr},
        {ID_EDIT_FIND, "&Find", "Find a key word\nFind", ":/icons/find.svg", nullptr},
        {ID_REGEDIT_JUMP, "&Regedit Jump", "Jump to Regedit\nJump", ":/icons/jump.svg", nullptr},
        {ID_CLEAR_DISPLAY, "&Clear Display", "Clear History\nClear", ":/icons/clear.svg", nullptr},
        {ID_EDIT_FILTER, "Fi&lter...", "Show only the events that match rules\nFilter", nullptr,
         "Ctrl+L"},
        {ID_EDIT_HIGHLIGHT, "&Highlight...",
         "Paint the events that match rules in a highlight colour\nHighlight", nullptr, nullptr},
        {ID_VIEW_FILTER_OFF, "Filter &Off",
         "Show every event, keeping the filter's rules\nFilter Off", nullptr, nullptr},
        {ID_START_CAPTURE, "Start Capture", "Start Capture Events\nStart Catpure",
         ":/icons/start.svg", nullptr},
        {ID_STOP_CAPTURE, "Stop Capture", "Stop Capture Events\nStop Capture", ":/icons/stop.svg",
         nullptr},
        {ID_ATTACH, "Attach to &Running Process", "Attach to Running Process\nAttach",
         ":/icons/attach.svg", nullptr},
        {ID_OPEN_NEW_PROGRAM, "Open New &Program", "Open new program\n Open new program",
         ":/icons/newprogram.svg", nullptr},
        {ID_OPTIONS, "Op&tions", "Hivewatch Options\nOptions", ":/icons/options.svg", nullptr},
        {ID_REGISTRY_CHANGES, "Registry C&hanges",
         "What the events changed in the registry, with files that redo or undo it\nRegistry "
         "Changes",
         nullptr, nullptr},
        {ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar\nToggle Status Bar",
         nullptr, nullptr},
        {ID_HELP_FINDER, "&Help Topics", "List Help topics\nHelp Topics", ":/icons/help.svg",
         nullptr},
        {ID_HELP, "Help", "Display help for current task or command\nHelp", nullptr, "F1"},
        {ID_CONTEXT_HELP, "Context Help",
         "Display help for clicked on buttons, menus and windows\nHelp", nullptr, "Shift+F1"},
        {ID_APP_ABOUT, "&About Hivewatch...",
         "Display program information, version number and copyright\nAbout", ":/icons/about.svg",
         nullptr},
        {ID_VIEW_APPLOOK_WIN_2000, "Windows &2000", nullptr, nullptr, nullptr},
        {ID_VIEW_APPLOOK_OFF_XP, "Office &XP", nullptr, nullptr, nullptr},
        {ID_VIEW_APPLOOK_WIN_XP, "&Windows XP", nullptr, nullptr, nullptr},
        {ID_VIEW_APPLOOK_OFF_2003, "Office 200&3", nullptr, nullptr, nullptr},
        {ID_VIEW_APPLOOK_VS_2005, "Visual Studio.NET 200&5", nullptr, nullptr, nullptr},
        {ID_VIEW_APPLOOK_OFF_2007_BLUE, "&Blue Style", nullptr, nullptr, nullptr},
        {ID_VIEW_APPLOOK_OFF_2007_BLACK, "B&lack Style", nullptr, nullptr, nullptr},
        {ID_VIEW_APPLOOK_OFF_2007_SILVER, "&Silver Style", nullptr, nullptr, nullptr},
        {ID_VIEW_APPLOOK_OFF_2007_AQUA, "&Aqua Style", nullptr, nullptr, nullptr},
    };
    return s_table;
}

const SCommand* FindCommand(int nId) {
    for (const SCommand& cmd : GetCommandTable()) {
        if (cmd.nId == nId)
            return &cmd;
    }
    return nullptr;
}

QString PromptStatusText(const SCommand& cmd) {
    if (!cmd.pPrompt)
        return {};
    return QString::fromLatin1(cmd.pPrompt).section(QLatin1Char('\n'), 0, 0);
}

QString PromptToolTip(const SCommand& cmd) {
    if (!cmd.pPrompt)
        return {};
    const QString strPrompt = QString::fromLatin1(cmd.pPrompt);
    const qsizetype n = strPrompt.indexOf(QLatin1Char('\n'));
    return n < 0 ? QString() : strPrompt.mid(n + 1);
}

const std::vector<int>& GetToolbarButtons() {
    static const std::vector<int> s_buttons = {
        ID_FILE_NEW,
        ID_FILE_OPEN,
        ID_FILE_SAVE,
        0,
        ID_ATTACH,
        ID_OPEN_NEW_PROGRAM,
        0,
        ID_OPTIONS,
        0,
        ID_START_CAPTURE,
        ID_STOP_CAPTURE,
        0,
        ID_EDIT_FIND,
        ID_REGEDIT_JUMP,
        0,
        ID_CLEAR_DISPLAY,
        0,
        ID_APP_ABOUT,
        ID_HELP_FINDER,
    };
    return s_buttons;
}
