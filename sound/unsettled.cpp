#include "sound/unsettled.h"

#include "shared/json_read.h"

namespace sound {

namespace {

const json::Value* find(const json::Object& object, const char* name) {
    auto found = object.find(name);
    return found == object.end() ? nullptr : &found->second;
}

// The member `name` of `object` when both are objects; nothing otherwise.
const json::Object* objectMember(const json::Object* object, const char* name) {
    const json::Value* value = object ? find(*object, name) : nullptr;
    return value ? value->object() : nullptr;
}

}  // namespace

void Unsettled::add(const Unsettled& more) {
    defaults.insert(more.defaults.begin(), more.defaults.end());
    rates.insert(more.rates.begin(), more.rates.end());
}

std::optional<std::string> withUnsettled(std::string_view record, const Unsettled& unsettled) {
    auto value = json::read(record);
    if (!value || !value->object()) {
        return std::nullopt;
    }
    json::Object object = *value->object();
    json::Array defaults, rates;
    for (Direction role : unsettled.defaults) {
        defaults.emplace_back(std::string(text(role)));
    }
    rates.assign(unsettled.rates.begin(), unsettled.rates.end());
    object["unsettled"] = json::Object{{"defaults", std::move(defaults)}, {"rates", std::move(rates)}};
    return json::write(json::Value(std::move(object)));
}

Unsettled unsettledIn(std::string_view record) {
    auto value = json::read(record);
    const json::Object* member = objectMember(value ? value->object() : nullptr, "unsettled");
    // The texts of the member's list `name`, passing over whatever else it holds.
    auto texts = [&](const char* name) {
        std::set<std::string> result;
        const json::Value* list = member ? find(*member, name) : nullptr;
        if (list && list->array()) {
            for (const json::Value& item : *list->array()) {
                if (item.string()) {
                    result.insert(*item.string());
                }
            }
        }
        return result;
    };
    Unsettled unsettled;
    auto defaults = texts("defaults");
    for (Direction role : {Direction::output, Direction::input}) {
        if (defaults.count(std::string(text(role))) > 0) {
            unsettled.defaults.insert(role);
        }
    }
    unsettled.rates = texts("rates");
    return unsettled;
}

}  // namespace sound
