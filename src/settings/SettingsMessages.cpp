#include "SettingsMessages.h"

#include "TextRules.h"

std::string LoadErrorText(const EXMLParseError& error) {
    std::string text = WithClosingPeriod(error.what()) + "\r\n\r\n";
    if (!error.KeptFileName.empty())
        return text + "The unreadable settings file has been kept as " + error.KeptFileName +
               ". Trelmo starts with default settings.";
    return text + "The unreadable settings file could not be kept as a copy (" + error.KeepFailure +
           "). Trelmo starts with default settings and will not replace the file when it closes "
           "until a copy has been kept.";
}

std::string SaveErrorText(const std::string& path, const std::string& reason) {
    return "The settings could not be saved to " + path + ": " + reason +
           ".\r\n\r\nThe changes made in this session are lost. Check that the folder exists, "
           "that it can be written to and that the disk has free space.";
}

std::string AutoSaveErrorText(const std::string& path, const std::string& reason) {
    return "The settings could not be saved to " + path + ": " + reason +
           ".\r\n\r\nYour changes are not saved until this is put right. Check that the folder "
           "exists, that it can be written to and that the disk has free space; Trelmo tries again "
           "at the next change, at Retry and when it closes, or choose Save Elsewhere.";
}

namespace {

std::string OtherTrelmo(int holder) {
    return holder > 0 ? "another running Trelmo (process " + std::to_string(holder) + ")"
                      : "another running Trelmo";
}

} // namespace

std::string ShowTakenText(const std::string& path, int holder) {
    const std::string who = OtherTrelmo(holder);
    return "The settings file " + path + " is in use by " + who +
           ".\r\n\r\nThis Trelmo shows the show but does not save it, so that the other one's "
           "changes are not overwritten: changes made here are lost when it closes. Close the "
           "other Trelmo and start this one again to edit the show.";
}

std::string DanglingLinkText(const std::string& path, const std::string& target) {
    return "The settings file " + path + " is a link to " + target +
           ", which cannot be found (is the drive that holds it connected?).\r\n\r\nTrelmo "
           "starts with an empty show and does not replace the link: what you set up is saved "
           "to " +
           target + " as soon as it can be reached again.";
}

std::string ShowInUseText(const std::string& path, int holder) {
    return "The show file " + path + " is open in " + OtherTrelmo(holder) +
           ". Close it there, or open another show.";
}

std::string ShowOpenErrorText(const std::string& path, const std::string& reason) {
    return "The show file " + path + " could not be opened:\r\n" + WithClosingPeriod(reason);
}
