#include "profile/json_positions.h"

#include <vector>

#include "profile/rapidjson_dom.h"
#include <rapidjson/reader.h>

namespace {

// The iterative parser calls the handler before it takes the token, so the
// stream's position is the first character of the key or value reported.
class PositionHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, PositionHandler> {
public:
    PositionHandler(const rapidjson::StringStream& in, const std::unordered_set<std::string>& wanted)
        : in_(in), wanted_(wanted)
    {
    }

    std::unordered_map<std::string, size_t> found;

    bool Default()
    {
        beginValue();
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
        record();
        return true;
    }

private:
    struct Frame {
        bool array;
        size_t next;        // index of the next element
        size_t pathLength;  // of the container's own pointer
    };

    void record()
    {
        if (wanted_.count(path_) != 0)
            found.emplace(path_, in_.Tell());
    }

    void beginValue()
    {
        if (frames_.empty()) {
            record();
        } else if (frames_.back().array) {
            path_.resize(frames_.back().pathLength);
            path_ += '/';
            path_ += std::to_string(frames_.back().next++);
            record();
        } // a member's value: its key was recorded
    }

    bool startContainer(bool array)
    {
        beginValue();
        frames_.push_back({array, 0, path_.size()});
        return true;
    }

    bool endContainer()
    {
        path_.resize(frames_.back().pathLength);
        frames_.pop_back();
        return true;
    }

    const rapidjson::StringStream& in_;
    const std::unordered_set<std::string>& wanted_;
    std::vector<Frame> frames_;
    std::string path_;
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
    PositionHandler handler(in, pointers);
    rapidjson::Reader reader;
    reader.Parse<rapidjson::kParseIterativeFlag>(in, handler);
    return std::move(handler.found);
}
