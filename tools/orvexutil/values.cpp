#include "values.hpp"

#include "diag.hpp"
#include "formats.hpp"
#include "text/base64.hpp"
#include "text/dates.hpp"
#include "text/numbers.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace orvexutil {

namespace {

const char *const TYPE_OPTIONS[] = {"-bool", "-integer", "-real", "-float", "-string",    "-date",
                                    "-data", "-xml",     "-json", "-array", "-dictionary"};

// `text` in lower case (ASCII letters only).
std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

} // namespace

bool is_type_option(const std::string &option) {
    for (const char *known : TYPE_OPTIONS)
        if (option == known)
            return true;
    return false;
}

bool type_takes_value(const std::string &option) { return option != "-array" && option != "-dictionary"; }

std::unique_ptr<Orvex::Node> make_value(const std::string &command, const std::string &option,
                                        const std::string &text) {
    auto bad = [&](const char *expected) {
        return UsageError{command, option + " '" + text + "': expected " + expected};
    };
    if (option == "-bool") {
        const std::string word = lower(text);
        if (word == "true" || word == "yes" || word == "1")
            return std::make_unique<Orvex::Boolean>(true);
        if (word == "false" || word == "no" || word == "0")
            return std::make_unique<Orvex::Boolean>(false);
        throw bad("true, false, yes, no (any case), 1 or 0");
    }
    if (option == "-integer") {
        const char *start = text.c_str();
        char *end = nullptr;
        errno = 0;
        if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
            throw bad("an integer from -2^63 to 2^64-1");
        if (text[0] == '-') {
            const long long value = std::strtoll(start, &end, 10);
            if (errno || *end)
                throw bad("an integer from -2^63 to 2^64-1");
            return std::make_unique<Orvex::Integer>(int64_t(value));
        }
        const unsigned long long value = std::strtoull(start, &end, 10);
        if (errno || *end)
            throw bad("an integer from -2^63 to 2^64-1");
        return std::make_unique<Orvex::Integer>(uint64_t(value));
    }
    if (option == "-real" || option == "-float") {
        char *end = nullptr;
        errno = 0;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || *end)
            throw bad("a number");
        // A finite spelling too large for a double; "inf" itself is taken.
        if (errno == ERANGE && std::isinf(value))
            throw bad("a number within the range of a double (about 1.8e308)");
        return std::make_unique<Orvex::Real>(value);
    }
    if (option == "-string")
        return std::make_unique<Orvex::String>(text);
    if (option == "-date") {
        orvex_store::ParsedDate parsed{};
        if (orvex_store::parse_iso8601(text.data(), text.size(), &parsed) != ORVEX_REASON_NONE)
            throw bad("an ISO 8601 date in UTC, YYYY[-MM[-DD[THH[:MM[:SS[.fraction]]]]]][Z]");
        auto date = std::make_unique<Orvex::Date>();
        if (parsed.exact)
            orvex_set_unix_date_val(date->GetOrvex(), parsed.unix_sec);
        else
            orvex_set_date_val(date->GetOrvex(), parsed.since_2001);
        return date;
    }
    if (option == "-data") {
        std::vector<char> bytes(text.size() / 4 * 3 + 3);
        const size_t n =
            orvex_store::base64_decode(reinterpret_cast<const unsigned char *>(text.data()), text.size(),
                                       reinterpret_cast<unsigned char *>(bytes.data()));
        if (n == SIZE_MAX)
            throw bad("base64");
        bytes.resize(n);
        return std::make_unique<Orvex::Data>(bytes);
    }
    if (option == "-array")
        return std::make_unique<Orvex::Array>();
    if (option == "-dictionary")
        return std::make_unique<Orvex::Dictionary>();
    const Format *format = find_format(option.substr(1));
    if (format && format->reads_fragments)
        return Document::parse_fragment(text, format->id, option);
    if (format)
        throw UsageError{command, option + " values are not supported in this build"};
    throw UsageError{command, "unknown value type " + option};
}

std::string real_text(double value) {
    char buf[orvex_store::NUMBER_TEXT_MAX];
    return std::string(buf, orvex_store::write_real_text(buf, value, true));
}

std::string date_text(double seconds) {
    // Beyond a few million years the calendar means little: show the number.
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e14)
        return real_text(seconds) + " s from 2001-01-01T00:00:00Z";
    double whole = std::floor(seconds);
    int64_t micro = std::llround((seconds - whole) * 1e6);
    if (micro == 1000000) {
        whole += 1;
        micro = 0;
    }
    char buf[orvex_store::ISO8601_MAX];
    std::string text(buf, orvex_store::format_iso8601(int64_t(whole) + orvex_store::UNIX_TO_2001, buf));
    if (micro) {
        std::snprintf(buf, sizeof buf, ".%06d", int(micro));
        std::string fraction = buf;
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text.insert(text.size() - 1, fraction); // before the 'Z'
    }
    return text;
}

std::string integer_text(orvex_t node) {
    if (orvex_int_val_is_negative(node)) {
        int64_t value = 0;
        orvex_get_int_val(node, &value);
        return std::to_string(value);
    }
    uint64_t value = 0;
    orvex_get_uint_val(node, &value);
    return std::to_string(value);
}

std::string base64_text(const char *bytes, uint64_t size) {
    std::string text(orvex_store::base64_size(size), '\0');
    orvex_store::base64_encode(reinterpret_cast<const unsigned char *>(bytes), size, &text[0]);
    return text;
}

bool raw_text(orvex_t node, std::string &text) {
    switch (orvex_get_node_type(node)) {
    case ORVEX_BOOLEAN: {
        uint8_t value = 0;
        orvex_get_bool_val(node, &value);
        text = value ? "true" : "false";
        return true;
    }
    case ORVEX_INT:
        text = integer_text(node);
        return true;
    case ORVEX_REAL: {
        double value = 0;
        orvex_get_real_val(node, &value);
        text = real_text(value);
        return true;
    }
    case ORVEX_STRING:
    case ORVEX_KEY: {
        uint64_t length = 0;
        const char *chars = orvex_get_string_ptr(node, &length);
        if (chars) {
            text.assign(chars, length);
        } else {
            char *key = nullptr;
            orvex_get_key_val(node, &key);
            text = key ? key : "";
            std::free(key);
        }
        return true;
    }
    case ORVEX_DATE: {
        double seconds = 0;
        orvex_get_date_val(node, &seconds);
        text = date_text(seconds);
        return true;
    }
    case ORVEX_DATA: {
        uint64_t length = 0;
        const char *bytes = orvex_get_data_ptr(node, &length);
        text = base64_text(bytes, length);
        return true;
    }
    case ORVEX_UID: {
        uint64_t value = 0;
        orvex_get_uid_val(node, &value);
        text = std::to_string(value);
        return true;
    }
    default:
        return false;
    }
}

} // namespace orvexutil
