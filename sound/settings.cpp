#include "sound/settings.h"

#include "shared/json_read.h"

namespace sound {

std::string_view text(Direction direction) {
    return direction == Direction::output ? "output" : "input";
}

namespace {

json::Object sideObject(const Side& side) {
    json::Object o{{"uid", side.uid}};
    if (side.name) {
        o["name"] = *side.name;
    }
    if (side.rate) {
        o["rate"] = *side.rate;
    }
    if (side.layout) {
        o["layout"] = *side.layout;
    }
    if (side.volume) {
        json::Object volume;
        for (const auto& [key, value] : *side.volume) {
            volume[key] = value;
        }
        o["volume"] = std::move(volume);
    }
    return o;
}

json::Object recordObject(const Settings& settings) {
    json::Object o;
    if (settings.output) {
        o["output"] = sideObject(*settings.output);
    }
    if (settings.input) {
        o["input"] = sideObject(*settings.input);
    }
    if (settings.others) {
        json::Array others;
        for (const auto& side : *settings.others) {
            others.emplace_back(sideObject(side));
        }
        o["others"] = std::move(others);
    }
    return o;
}

// The member, or nothing when it is missing or null: both mean absent.
const json::Value* member(const json::Object& o, const char* name) {
    auto it = o.find(name);
    if (it == o.end() || it->second.isNull()) {
        return nullptr;
    }
    return &it->second;
}

// A string member: true with `out` left absent when missing or null; false when of another type.
bool readText(const json::Object& o, const char* name, std::optional<std::string>& out) {
    const json::Value* v = member(o, name);
    if (!v) {
        return true;
    }
    if (!v->string()) {
        return false;
    }
    out = *v->string();
    return true;
}

std::optional<Side> readSide(const json::Value& value) {
    const json::Object* o = value.object();
    if (!o) {
        return std::nullopt;
    }
    const json::Value* uid = member(*o, "uid");
    if (!uid || !uid->string()) {
        return std::nullopt;
    }
    Side side;
    side.uid = *uid->string();
    if (!readText(*o, "name", side.name) || !readText(*o, "layout", side.layout)) {
        return std::nullopt;
    }
    if (const json::Value* rate = member(*o, "rate")) {
        side.rate = rate->number();
        if (!side.rate) {
            return std::nullopt;
        }
    }
    if (const json::Value* volume = member(*o, "volume")) {
        const json::Object* channels = volume->object();
        if (!channels) {
            return std::nullopt;
        }
        VolumeMap map;
        for (const auto& [key, v] : *channels) {
            auto scalar = v.number();
            if (!scalar) {
                return std::nullopt;
            }
            map[key] = *scalar;
        }
        side.volume = std::move(map);
    }
    return side;
}

}  // namespace

std::optional<std::string> encode(const Settings& settings) {
    return json::write(json::Value(recordObject(settings)));
}

std::optional<Settings> decode(std::string_view text) {
    auto value = json::read(text);
    if (!value || !value->object()) {
        return std::nullopt;
    }
    const json::Object& o = *value->object();
    Settings settings;
    for (auto [name, field] : {std::pair{"output", &settings.output}, std::pair{"input", &settings.input}}) {
        if (const json::Value* v = member(o, name)) {
            *field = readSide(*v);
            if (!*field) {
                return std::nullopt;
            }
        }
    }
    if (const json::Value* v = member(o, "others")) {
        const json::Array* list = v->array();
        if (!list) {
            return std::nullopt;
        }
        std::vector<Side> others;
        for (const auto& element : *list) {
            auto side = readSide(element);
            if (!side) {
                return std::nullopt;
            }
            others.push_back(std::move(*side));
        }
        settings.others = std::move(others);
    }
    return settings;
}

json::Object encoded(const Settings& settings) {
    // Through the text and back, so the embedded object is exactly what a file would hold.
    auto text = encode(settings);
    if (!text) {
        return {};
    }
    auto value = json::read(*text);
    if (!value || !value->object()) {
        return {};
    }
    return *value->object();
}

}  // namespace sound
