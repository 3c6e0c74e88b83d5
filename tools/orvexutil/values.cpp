#include "values.hpp"

#include "diag.hpp"
#include "formats.hpp"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orvexutil {

namespace {

constexpr int64_t UNIX_TO_2001 = 978307200;

const char *const TYPE_OPTIONS[] = {"-bool", "-integer", "-real", "-float", "-string",    "-date",
                                    "-data", "-xml",     "-json", "-array", "-dictionary"};

// `text` in lower case (ASCII letters only).
std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civil_from_days(int64_t z, int64_t &y, unsigned &m, unsigned &d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = int64_t(yoe) + era * 400 + (m <= 2);
}

// Reads `count` digits at `p`.
bool digits(const char *&p, int count, unsigned &value) {
    value = 0;
    for (int i = 0; i < count; i++, p++) {
        if (*p < '0' || *p > '9')
            return false;
        value = value * 10 + unsigned(*p - '0');
    }
    return true;
}

// YYYY-MM-DDTHH:MM:SS[.fraction]Z, as seconds since 2001.
bool parse_date(const std::string &text, double &seconds) {
    const char *p = text.c_str();
    unsigned year, month, day, hour, minute, second;
    if (!digits(p, 4, year) || *p++ != '-' || !digits(p, 2, month) || *p++ != '-' || !digits(p, 2, day) ||
        *p++ != 'T' || !digits(p, 2, hour) || *p++ != ':' || !digits(p, 2, minute) || *p++ != ':' ||
        !digits(p, 2, second))
        return false;
    double fraction = 0, scale = 0.1;
    if (*p == '.') {
        if (p[1] < '0' || p[1] > '9')
            return false;
        for (p++; *p >= '0' && *p <= '9'; p++, scale /= 10)
            fraction += (*p - '0') * scale;
    }
    if (*p++ != 'Z' || *p != '\0')
        return false;
    static const unsigned DAYS[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > DAYS[month - 1] || (month == 2 && day == 29 && !leap) ||
        hour > 23 || minute > 59 || second > 59)
        return false;
    const int64_t unix_seconds =
        days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    seconds = double(unix_seconds - UNIX_TO_2001) + fraction;
    return true;
}

int base64_digit(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

// Base64 with optional padding; white space is skipped.
bool parse_base64(const std::string &text, std::vector<char> &bytes) {
    uint32_t bits = 0;
    int count = 0, padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c == '=') {
            padding++;
            continue;
        }
        const int digit = base64_digit(c);
        if (digit < 0 || padding > 0)
            return false;
        bits = (bits << 6) | uint32_t(digit);
        if (++count % 4 == 0) {
            bytes.push_back(char(bits >> 16));
            bytes.push_back(char(bits >> 8));
            bytes.push_back(char(bits));
            bits = 0;
        }
    }
    const int rest = count % 4;
    if (rest == 1 || padding > 2 || (padding > 0 && rest + padding != 4))
        return false;
    if (rest == 2)
        bytes.push_back(char(bits >> 4));
    if (rest == 3) {
        bytes.push_back(char(bits >> 10));
        bytes.push_back(char(bits >> 2));
    }
    return true;
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
        double seconds = 0;
        if (!parse_date(text, seconds))
            throw bad("a date as YYYY-MM-DDTHH:MM:SSZ, with an optional fraction of a second");
        auto date = std::make_unique<Orvex::Date>();
        orvex_set_date_val(date->GetOrvex(), seconds);
        return date;
    }
    if (option == "-data") {
        std::vector<char> bytes;
        if (!parse_base64(text, bytes))
            throw bad("base64");
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

void keep_exact(orvex_t copy, orvex_t original) {
    switch (orvex_get_node_type(original)) {
    case ORVEX_DATE: {
        double seconds = 0;
        orvex_get_date_val(original, &seconds);
        orvex_set_date_val(copy, seconds);
        break;
    }
    case ORVEX_STRING: {
        uint64_t length = 0;
        const char *text = orvex_get_string_ptr(original, &length);
        if (orvex_set_string_val_len(copy, text, length) == ORVEX_ERR_NO_MEM)
            throw std::bad_alloc();
        break;
    }
    default:
        break;
    }
}

std::string real_text(double value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buf[40];
    for (int precision = 15; precision <= 17; precision++) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, value);
        if (std::strtod(buf, nullptr) == value)
            break;
    }
    std::string text = buf;
    if (text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
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
    const int64_t unix_seconds = int64_t(whole) + UNIX_TO_2001;
    const int64_t days = (unix_seconds >= 0 ? unix_seconds : unix_seconds - 86399) / 86400;
    const int64_t in_day = unix_seconds - days * 86400;
    int64_t year;
    unsigned month, day;
    civil_from_days(days, year, month, day);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04" PRId64 "-%02u-%02uT%02d:%02d:%02d", year, month, day,
                  int(in_day / 3600), int(in_day / 60 % 60), int(in_day % 60));
    std::string text = buf;
    if (micro) {
        std::snprintf(buf, sizeof buf, ".%06d", int(micro));
        std::string fraction = buf;
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text += fraction;
    }
    return text + "Z";
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
    static const char DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((size + 2) / 3 * 4);
    for (uint64_t i = 0; i < size; i += 3) {
        const uint64_t n = size - i < 3 ? size - i : 3;
        uint32_t bits = uint32_t(uint8_t(bytes[i])) << 16;
        if (n > 1)
            bits |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        if (n > 2)
            bits |= uint8_t(bytes[i + 2]);
        text += DIGITS[bits >> 18];
        text += DIGITS[(bits >> 12) & 63];
        text += n > 1 ? DIGITS[(bits >> 6) & 63] : '=';
        text += n > 2 ? DIGITS[bits & 63] : '=';
    }
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
