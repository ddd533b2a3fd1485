#pragma once

#include <stdexcept>
#include <string>

// A settings file that cannot be read or parsed. The message is the parser's description,
// CR LF, "Line: N", CR LF and the start of that line.
class EXMLParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;

    // Where a copy of the unreadable file was kept; empty when keeping it failed.
    std::string KeptFileName;
    // Why keeping the copy failed; empty when it was kept.
    std::string KeepFailure;
};
