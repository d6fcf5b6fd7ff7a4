// The link at PATH that gives the pseudo-terminal a name of the user's choosing. kmxlink only ever replaces
// a link it left behind: a symbolic link into /dev/pts/ whose terminal is gone (after a crash or a kill).
#pragma once

#include <string>

// Links path to target ("/dev/pts/7"). False, with *error for a person, when path is anything else than
// nothing or such a stale link: a file, a directory, a link elsewhere, or a link to a terminal that exists.
bool PlaceLink(const std::string& path, const std::string& target, std::string* error);

// Removes path if it is still our link to target; someone else's file there stays.
void RemoveLink(const std::string& path, const std::string& target);
