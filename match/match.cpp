#include "match/match.h"

// Locale-free on purpose: titles arrive in whatever code page the desktop
// uses, and only ASCII letters are safe to fold in all of them.
static unsigned char Fold(char c)
{
    unsigned char b = static_cast<unsigned char>(c);
    return b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b;
}

const char* FindTitleFragment(const char* text, const char* fragment)
{
    if (!text || !fragment)
        return nullptr;
    for (const char* start = text;; ++start) {
        const char* t = start;
        const char* f = fragment;
        while (*f && *t && Fold(*t) == Fold(*f)) {
            ++t;
            ++f;
        }
        if (!*f)
            return start;
        // A partial match that ran into the end of the text: no later start
        // has more text left, so none can match either.
        if (!*t)
            return nullptr;
    }
}
