#include "sound/unsettled.h"

#include "shared/json_read.h"

namespace sound {

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
    Unsettled unsettled;
    auto value = json::read(record);
    const json::Object* object = value ? value->object() : nullptr;
    auto found = object ? object->find("unsettled") : json::Object::const_iterator{};
    if (!object || found == object->end() || !found->second.object()) {
        return unsettled;
    }
    auto texts = [&](const char* name) {
        auto list = found->second.object()->find(name);
        std::set<std::string> result;
        if (list != found->second.object()->end() && list->second.array()) {
            for (const auto& item : *list->second.array()) {
                if (item.string()) {
                    result.insert(*item.string());
                }
            }
        }
        return result;
    };
    for (const std::string& role : texts("defaults")) {
        for (Direction direction : {Direction::output, Direction::input}) {
            if (role == text(direction)) {
                unsettled.defaults.insert(direction);
            }
        }
    }
    unsettled.rates = texts("rates");
    return unsettled;
}

}  // namespace sound
