#pragma once

// The one service the core needs from the platform: whole-file copies over relative paths
// whose letter case does not matter (the content tree spells one folder both "Cabview" and
// "CABVIEW"). One implementation per platform; neither shows a message or throws.

// Copies the whole content of source over target, creating target when it is missing.
// Returns true on success, false when anything failed.
bool copyFileReplacing(const char* source, const char* target);

// True when path names an existing regular file.
bool fileExists(const char* path);
