#include "core/pagelayout.h"

#include <sstream>

#include <nlohmann/json.hpp>

#include "core/error.h"

namespace velmora {

namespace {

using nlohmann::json;

const char *const TileArrayName = "right_page_arr";

// "a string", "an object", "null": how a JSON value's kind reads in a message.
std::string describeKind(const json &value)
{
    switch (value.type()) {
    case json::value_t::null:
        return "null";
    case json::value_t::object:
    case json::value_t::array:
        return std::string("an ") + value.type_name();
    default:
        return std::string("a ") + value.type_name();
    }
}

// nlohmann's messages start with "[json.exception.parse_error.101] "; the user needs
// only the part after it.
std::string withoutExceptionId(const std::string &message)
{
    const std::string::size_type end = message.find("] ");
    return end == std::string::npos ? message : message.substr(end + 2);
}

} // namespace

std::string PageLayoutQueryBody(const std::string &itemId, const std::string &magazineId)
{
    return "current_arr=0&item_id=" + itemId + "&magazine_id=" + magazineId;
}

int TileCountFromAnswer(const std::string &answer)
{
    // Stream extraction reads the first complete value and leaves the rest unread.
    std::istringstream in(answer);
    json value;
    try {
        in >> value;
    } catch (const json::exception &e) {
        throw Error("the page-layout answer is not JSON (" + withoutExceptionId(e.what()) + ")", e.id);
    }
    if (!value.is_object())
        throw Error("the page-layout answer is not a JSON object but " + describeKind(value));
    const auto member = value.find(TileArrayName);
    if (member == value.end())
        throw Error(std::string("the page-layout answer has no array \"") + TileArrayName
                    + "\" (the member is missing)");
    if (!member->is_array())
        throw Error(std::string("the page-layout answer has no array \"") + TileArrayName
                    + "\" (the member is " + describeKind(*member) + ")");
    return static_cast<int>(member->size());
}

} // namespace velmora
