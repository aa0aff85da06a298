#pragma once

// Leftmost occurrence of fragment in text, comparing the 26 ASCII letters
// without regard to case and every other byte exactly. Returns a pointer into
// text, or null when there is none or either string is absent. An empty
// fragment is found at the start of any text.
const char* FindTitleFragment(const char* text, const char* fragment);
