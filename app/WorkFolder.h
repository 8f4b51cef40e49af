// The run's own working folder (current when the wizard is made), where
// start-up left the script and the display files, and the procedures their
// working files.
#pragma once

#include <string>

class WorkFolder {
public:
    explicit WorkFolder(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    // Makes it the current folder.
    void Enter() const;
    // Makes the temporary folder current and removes this one (it must be
    // empty by then: a folder that is current cannot go).
    void Leave() const;

private:
    std::string path_;
};
