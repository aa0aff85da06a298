#include "winsys/json_stream.h"

#include <yajl/yajl_parse.h>

#include <cstring>

namespace {

const int kDepth = 64;
const std::size_t kKeySize = 64; // the names asked for are short

struct Reader {
    JsonVisitor visit;
    void* context;
    int depth;
    // The name of the member at each depth: the one being read, or, for a
    // container, the one it is the value of.
    char keys[kDepth + 1][kKeySize];
    std::size_t keyLengths[kDepth + 1];
};

int Offer(void* context, JsonKind kind, const char* text = nullptr, std::size_t length = 0, std::int64_t integer = 0)
{
    Reader& r = *static_cast<Reader*>(context);
    bool closing = kind == JsonObjectEnd || kind == JsonArrayEnd;
    int depth = closing ? --r.depth : r.depth;
    if (depth < 0 || depth > kDepth)
        return 0;
    JsonItem item = {.kind = kind, .depth = depth, .key = r.keys[depth], .keyLength = r.keyLengths[depth],
                     .text = text, .length = length, .integer = integer};
    bool goOn = r.visit(r.context, item);
    if (kind == JsonObject || kind == JsonArray) {
        if (++r.depth > kDepth)
            return 0;
        r.keyLengths[r.depth] = 0; // an array's items have no name
        r.keys[r.depth][0] = '\0';
    }
    return goOn;
}

int Null(void* c) { return Offer(c, JsonNull); }
int Bool(void* c, int value) { return Offer(c, JsonBool, nullptr, 0, value != 0); }
int Integer(void* c, long long value) { return Offer(c, JsonInteger, nullptr, 0, value); }
int Double(void* c, double) { return Offer(c, JsonNumber); }
int String(void* c, const unsigned char* text, std::size_t length)
{
    return Offer(c, JsonString, reinterpret_cast<const char*>(text), length);
}
int StartMap(void* c) { return Offer(c, JsonObject); }
int EndMap(void* c) { return Offer(c, JsonObjectEnd); }
int StartArray(void* c) { return Offer(c, JsonArray); }
int EndArray(void* c) { return Offer(c, JsonArrayEnd); }

int Key(void* context, const unsigned char* key, std::size_t length)
{
    Reader& r = *static_cast<Reader*>(context);
    // A longer name is kept whole in its length only: it equals none asked for.
    std::size_t kept = length < kKeySize ? length : kKeySize - 1;
    std::memcpy(r.keys[r.depth], key, kept);
    r.keys[r.depth][kept] = '\0';
    r.keyLengths[r.depth] = length;
    return 1;
}

const yajl_callbacks kCallbacks = {
    .yajl_null = Null,
    .yajl_boolean = Bool,
    .yajl_integer = Integer,
    .yajl_double = Double,
    .yajl_number = nullptr,
    .yajl_string = String,
    .yajl_start_map = StartMap,
    .yajl_map_key = Key,
    .yajl_end_map = EndMap,
    .yajl_start_array = StartArray,
    .yajl_end_array = EndArray,
};

} // namespace

bool JsonRead(const char* text, std::size_t length, JsonVisitor visit, void* context)
{
    static Reader reader; // 4 KiB of names: not on the stack
    reader = {};
    reader.visit = visit;
    reader.context = context;
    yajl_handle parser = yajl_alloc(&kCallbacks, nullptr, &reader);
    if (!parser)
        return false;
    // A title in another encoding (X11 allows any bytes) is passed on as it
    // is, and shown safely, rather than costing the whole list.
    yajl_config(parser, yajl_dont_validate_strings, 1);
    bool read = yajl_parse(parser, reinterpret_cast<const unsigned char*>(text), length) == yajl_status_ok &&
                yajl_complete_parse(parser) == yajl_status_ok;
    yajl_free(parser);
    return read;
}

bool JsonIs(const char* bytes, std::size_t length, const char* word)
{
    return length == std::strlen(word) && std::memcmp(bytes, word, length) == 0;
}

void JsonText(const JsonItem& item, char* buffer, std::size_t size)
{
    std::size_t length = item.kind == JsonString ? strnlen(item.text, item.length < size - 1 ? item.length : size - 1) : 0;
    if (length > 0)
        std::memcpy(buffer, item.text, length);
    buffer[length] = '\0';
}

std::uint64_t JsonUnsigned(const JsonItem& item)
{
    return item.kind == JsonInteger && item.integer > 0 ? static_cast<std::uint64_t>(item.integer) : 0;
}

namespace {

struct Sought {
    int depth;
    const char* key;
    const char* word;
    bool found;
};

bool Seek(void* context, const JsonItem& item)
{
    Sought& s = *static_cast<Sought*>(context);
    if (item.depth != s.depth || !JsonIs(item.key, item.keyLength, s.key))
        return true;
    s.found = item.kind == JsonString ? JsonIs(item.text, item.length, s.word)
              : item.kind == JsonBool ? JsonIs(item.integer ? "true" : "false", item.integer ? 4 : 5, s.word)
                                      : false;
    return false; // the first one answers
}

} // namespace

bool JsonHolds(const char* text, std::size_t length, int depth, const char* key, const char* word)
{
    Sought sought = {.depth = depth, .key = key, .word = word, .found = false};
    JsonRead(text, length, Seek, &sought);
    return sought.found;
}
