#pragma once

#include "EXMLParseError.h"

#include <string>

// The texts that tell the operator about a settings file that could not be read or written.

// The start-up message for a Settings.xml that cannot be read: the parser's message, then where
// the unreadable file is kept.
std::string LoadErrorText(const EXMLParseError& error);

// The message for a save at close that failed.
std::string SaveErrorText(const std::string& path, const std::string& reason);

// The message for a save during the run that failed.
std::string AutoSaveErrorText(const std::string& path, const std::string& reason);

// The start-up message for a Settings.xml that another running Trelmo writes: which file, which
// process (0: not known), and what to do.
std::string ShowTakenText(const std::string& path, int holder);

// The start-up message for a Settings.xml that is a symbolic link to a file that is not there.
std::string DanglingLinkText(const std::string& path, const std::string& target);

// A show file that another running Trelmo has open: which file, which process (0: not known).
std::string ShowInUseText(const std::string& path, int holder);

// A show file that could not be opened, and why.
std::string ShowOpenErrorText(const std::string& path, const std::string& reason);
