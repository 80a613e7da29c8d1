#include "json_out.h"

#include <ostream>

namespace cli {

void PrintJson(std::ostream& out, const Json& doc) {
    out << doc.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

std::string JsonText(const Json& value) {
    return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

Json JsonBytes(const uint8_t* bytes, int n) {
    Json a = Json::array();
    for (int i = 0; i < n; ++i)
        a.push_back(bytes[i]);
    return a;
}

} // namespace cli
