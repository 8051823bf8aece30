#include "profile/json_parse.h"

#include <cstdint>

namespace {

using rapidjson::SizeType;

// Hands every parse event on to `Handler`, but stops the parse when arrays
// and objects are opened more than kRecursiveParseDepth deep: the recursive
// parser takes stack for every level.
template <typename Handler>
class DepthBound {
public:
    explicit DepthBound(Handler& handler) : h_(handler) {}

    bool Null() { return h_.Null(); }
    bool Bool(bool b) { return h_.Bool(b); }
    bool Int(int i) { return h_.Int(i); }
    bool Uint(unsigned u) { return h_.Uint(u); }
    bool Int64(int64_t i) { return h_.Int64(i); }
    bool Uint64(uint64_t u) { return h_.Uint64(u); }
    bool Double(double d) { return h_.Double(d); }
    bool RawNumber(const char* s, SizeType n, bool copy) { return h_.RawNumber(s, n, copy); }
    bool String(const char* s, SizeType n, bool copy) { return h_.String(s, n, copy); }
    bool Key(const char* s, SizeType n, bool copy) { return h_.Key(s, n, copy); }
    bool StartObject() { return enter() && h_.StartObject(); }
    bool EndObject(SizeType members) { --depth_; return h_.EndObject(members); }
    bool StartArray() { return enter() && h_.StartArray(); }
    bool EndArray(SizeType elements) { --depth_; return h_.EndArray(elements); }

private:
    bool enter() { return ++depth_ <= kRecursiveParseDepth; }

    Handler& h_;
    unsigned depth_ = 0;
};

// The recursive parse, as a generator for Document::Populate, which takes
// the root value off the document's stack when it succeeds.
template <unsigned Flags, typename Stream>
struct RecursiveParse {
    Stream in;
    rapidjson::ParseResult result;

    template <typename Handler>
    bool operator()(Handler& document)
    {
        DepthBound<Handler> bound(document);
        rapidjson::Reader reader;
        result = reader.Parse<Flags>(in, bound);
        return !result.IsError();
    }
};

} // namespace

rapidjson::ParseResult parseJson(rapidjson::Document& doc, const char* text)
{
    RecursiveParse<rapidjson::kParseDefaultFlags, rapidjson::StringStream> parse{rapidjson::StringStream(text), {}};
    doc.Populate(parse);
    if (!parse.result.IsError())
        return parse.result;
    // Too deep, or not JSON: the iterative parser decides and names the error.
    rapidjson::Document().Swap(doc);
    doc.Parse<rapidjson::kParseIterativeFlag>(text);
    return rapidjson::ParseResult(doc.GetParseError(), doc.GetErrorOffset());
}

rapidjson::ParseResult parseJsonInPlace(rapidjson::Document& doc, char* text)
{
    RecursiveParse<rapidjson::kParseInsituFlag, rapidjson::InsituStringStream> parse{
        rapidjson::InsituStringStream(text), {}};
    doc.Populate(parse);
    return parse.result;
}
