#include "profile/json_positions.h"

#include <vector>

#include "profile/rapidjson_dom.h"
#include <rapidjson/reader.h>

namespace {

class PositionHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, PositionHandler> {
public:
    PositionHandler(const std::string& text, const rapidjson::StringStream& in,
                    const std::unordered_set<std::string>& wanted)
        : text_(text), in_(in), wanted_(wanted)
    {
    }

    std::unordered_map<std::string, size_t> found;

    bool Default()
    {
        beginValue();
        after_ = in_.Tell();
        return true;
    }
    bool StartObject() { return startContainer(false); }
    bool StartArray() { return startContainer(true); }
    bool EndObject(rapidjson::SizeType) { return endContainer(); }
    bool EndArray(rapidjson::SizeType) { return endContainer(); }
    bool Key(const char* name, rapidjson::SizeType length, bool)
    {
        path_.resize(frames_.back().pathLength);
        path_ += '/';
        for (rapidjson::SizeType i = 0; i < length; ++i) {
            if (name[i] == '~')
                path_ += "~0";
            else if (name[i] == '/')
                path_ += "~1";
            else
                path_ += name[i];
        }
        record(valueStart());
        after_ = in_.Tell();
        return true;
    }

private:
    struct Frame {
        bool array;
        size_t next;        // index of the next element
        size_t pathLength;  // of the container's own pointer
    };

    // First character of the value or key that follows the previous token.
    size_t valueStart() const
    {
        size_t at = after_;
        while (at < text_.size() && (text_[at] == ' ' || text_[at] == '\t' || text_[at] == '\r' ||
                                     text_[at] == '\n' || text_[at] == ',' || text_[at] == ':'))
            ++at;
        return at;
    }

    void record(size_t offset)
    {
        if (wanted_.count(path_) != 0)
            found.emplace(path_, offset);
    }

    void beginValue()
    {
        if (frames_.empty()) {
            record(valueStart());
        } else if (frames_.back().array) {
            path_.resize(frames_.back().pathLength);
            path_ += '/';
            path_ += std::to_string(frames_.back().next++);
            record(valueStart());
        } // a member's value: its key was recorded
    }

    bool startContainer(bool array)
    {
        beginValue();
        frames_.push_back({array, 0, path_.size()});
        after_ = valueStart() + 1;  // past the bracket
        return true;
    }

    bool endContainer()
    {
        path_.resize(frames_.back().pathLength);
        frames_.pop_back();
        after_ = valueStart() + 1;  // past the bracket
        return true;
    }

    const std::string& text_;
    const rapidjson::StringStream& in_;
    const std::unordered_set<std::string>& wanted_;
    std::vector<Frame> frames_;
    std::string path_;
    size_t after_ = 0;
};

} // namespace

TextPosition positionOf(const std::string& text, size_t offset)
{
    TextPosition p{1, 1};
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++p.line;
            p.column = 1;
        } else {
            ++p.column;
        }
    }
    return p;
}

std::unordered_map<std::string, size_t> findPointers(const std::string& text,
                                                     const std::unordered_set<std::string>& pointers)
{
    rapidjson::StringStream in(text.c_str());
    PositionHandler handler(text, in, pointers);
    rapidjson::Reader reader;
    reader.Parse<rapidjson::kParseIterativeFlag>(in, handler);
    return std::move(handler.found);
}
