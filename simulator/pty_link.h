#pragma once
// A symbolic link at a path of the user's choosing to the pseudo-terminal
// the simulator plays on, so that a program watching that path finds the
// device again when a stopped simulator is started anew: each run makes a
// new pty (/dev/pts/N changes), the link stays where it was.
//
// The link replaces a link already there (left by an earlier run, or by
// one that still runs: the newest wins) in one step, so the path never
// goes missing in between; anything else at the path is left alone and the
// link refused. On destruction the link goes, unless it has been pointed
// elsewhere since (by a newer run), which keeps that run's link.
//
// Linux only. Qt-free. Errors are thrown as Exception.

#include <string>

class TPtyLink {
public:
    TPtyLink(std::string linkPath, std::string target);
    ~TPtyLink();
    TPtyLink(const TPtyLink&) = delete;
    TPtyLink& operator=(const TPtyLink&) = delete;

    const std::string& Path() const { return m_path; }
    const std::string& Target() const { return m_target; }
    // Whether the link at Path() still leads to Target().
    bool StillOurs() const;

private:
    std::string m_path;
    std::string m_target;
};
