#pragma once

#include <string>

class TProduction;

// Whether programs are installed into the folder: it lies in one of the hierarchies where the
// system keeps them (/usr, /bin, /sbin, /lib*, /opt, /snap) or is the user's ~/.local/bin;
// symbolic links resolved.
bool IsInstallFolder(const std::string& folder);

// Where Settings.xml lives. Next to the executable when the user owns that folder and can write
// to it and it is not an install folder, so a build folder or a show folder carried on a
// stick keeps its settings; otherwise in the user's configuration folder,
// $XDG_CONFIG_HOME/trelmo/ (~/.config/trelmo/ when the variable is unset), as for a program
// installed in /usr/bin, also when root runs it.
class TSettingsLocation {
public:
    // appDir: the executable's folder, ending in '/'. Creates the configuration folder (mode
    // 0700) when it is the place; a folder that cannot be created fails at the save.
    static TSettingsLocation Find(const std::string& appDir);

    // The file read at start-up and written at close.
    std::string FileName;
    // Read instead of FileName while that does not exist yet: the Settings.xml next to the
    // executable when the configuration folder is the place, empty otherwise.
    std::string StartingPoint;

    // Reads FileName, or the starting point while FileName does not exist; false when neither
    // exists. An unreadable file throws EXMLParseError as TProduction::LoadFromFile does; its
    // copy is kept in FileName's folder.
    bool Load(TProduction& production) const;
};
