#include "output.h"

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string iso_date(const std::string& digits, bool date_only) {
    if (digits.size() != 14 || digits.find_first_not_of("0123456789") != std::string::npos)
        return digits;
    std::string date = digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2);
    if (date_only && digits.compare(8, 6, "000000") == 0) return date;
    return date + " " + digits.substr(8, 2) + ":" + digits.substr(10, 2) + ":" +
           digits.substr(12, 2);
}

std::string csv_value(const std::string& field) {
    if (field.empty()) return ""; // NULL
    std::string text = field.substr(1);
    switch (field[0]) {
    case 'D':
        return iso_date(text, true);
    case 'T':
        return iso_date(text, false);
    case 'N':
        return csv_field(text);
    default:
        return text.empty() ? "\"\"" : csv_field(text);
    }
}

std::string typed_value(const std::string& field) {
    if (field.empty()) return "-:";
    return std::string(1, field[0] == ' ' ? 'S' : field[0]) + ":" + field.substr(1);
}

std::string rule_for(const std::string& header) {
    size_t end = header.find_last_not_of(' ');
    return std::string(end == std::string::npos ? 0 : end + 1, '-');
}
