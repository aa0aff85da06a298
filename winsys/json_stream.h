#pragma once

// JSON read as it streams past (yajl): the reader keeps nothing of it, so a
// compositor's whole window tree costs no more memory than its own text.

#include <cstddef>
#include <cstdint>

enum JsonKind {
    JsonNull,
    JsonBool,
    JsonInteger,
    JsonNumber, // one with a fraction or exponent; its value is not kept
    JsonString,
    JsonObject,
    JsonObjectEnd,
    JsonArray,
    JsonArrayEnd,
};

// One value, or the start or end of an object or array.
struct JsonItem {
    JsonKind kind;
    int depth;           // 0 for the text's own value, 1 inside it, ...
    const char* key;     // the member's name; empty inside an array
    std::size_t keyLength;
    const char* text;    // a string's bytes, escapes read (it may hold zero bytes)
    std::size_t length;
    std::int64_t integer; // JsonInteger's value; JsonBool's: 0 or 1
};

using JsonVisitor = bool (*)(void* context, const JsonItem& item);

// Offers every item in the order of the text. False when the text is not
// one JSON value, nests deeper than 64, or the visitor returned false.
bool JsonRead(const char* text, std::size_t length, JsonVisitor visit, void* context);

// Whether the bytes are the word, exactly.
bool JsonIs(const char* bytes, std::size_t length, const char* word);

// A string's bytes up to its first zero byte, as X11 titles end, cut to
// size - 1; empty for anything else (null among them).
void JsonText(const JsonItem& item, char* buffer, std::size_t size);

// A positive integer's value, else 0.
std::uint64_t JsonUnsigned(const JsonItem& item);

// Whether the text holds, at that depth, a member named `key` whose value is
// the string `word`, or, for true or false, that word: for short answers.
bool JsonHolds(const char* text, std::size_t length, int depth, const char* key, const char* word);
