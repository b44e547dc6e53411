#pragma once

// The one way the codec, braidel-run's stages and the plug-in loader report a failure: what
// kind of failure it is and one line of UTF-8 that says why, starting with the name of the file
// it concerns where there is one. Only braidel-run's main turns the kind into an exit code and
// adds the program's name; the conventions the host and frei0r ABIs impose stay at those ABIs.

#include <string>

enum class FailureCode {
    None,
    Usage,         // the command line asks for something that cannot be done
    BadInput,      // an input, mask or configuration cannot be read
    RenderFailed,  // the plug-in, a dialog or the render failed
    NotWritten,    // an output cannot be written
    Aborted,       // stopped on request
};

struct Failure {
    FailureCode code = FailureCode::None;
    std::string reason;  // UTF-8, one line

    explicit operator bool() const { return code != FailureCode::None; }
};
