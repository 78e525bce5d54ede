#include "control_model.h"

#include <cmath>
#include <cstdio>

namespace {

bool logarithmic(uint32_t port) { return CONTROL_INFO[port].scale == ControlScale::logarithmic; }

}  // namespace

bool control_is_signed(uint32_t port)
{
    return port < CONTROL_PORT_COUNT && CONTROL_INFO[port].unit == ControlUnit::coef &&
           CONTROL_RANGES[port].min < 0.0f;
}

void control_model_reset(ControlModel* model)
{
    for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port)
        model->values[port] = CONTROL_RANGES[port].default_value;
}

bool control_model_set(ControlModel* model, uint32_t port, float value)
{
    if (port >= CONTROL_PORT_COUNT)
        return false;
    const float v = control_sanitize(port, value);
    if (v == model->values[port])
        return false;
    model->values[port] = v;
    return true;
}

float control_sanitize(uint32_t port, float value)
{
    const ControlRange& r = CONTROL_RANGES[port < CONTROL_PORT_COUNT ? port : 0];
    if (std::isnan(value))
        return r.default_value;
    return value < r.min ? r.min : value > r.max ? r.max : value;
}

double control_to_normal(uint32_t port, float value)
{
    const ControlRange& r = CONTROL_RANGES[port];
    const double v = double(control_sanitize(port, value));
    if (logarithmic(port))
        return std::log(v / double(r.min)) / std::log(double(r.max) / double(r.min));
    return (v - double(r.min)) / (double(r.max) - double(r.min));
}

float control_from_normal(uint32_t port, double normal)
{
    const ControlRange& r = CONTROL_RANGES[port];
    if (std::isnan(normal))
        return r.default_value;
    const double n = normal < 0.0 ? 0.0 : normal > 1.0 ? 1.0 : normal;
    // The ends map to the declared bounds exactly, whatever the rounding.
    if (n == 0.0)
        return r.min;
    if (n == 1.0)
        return r.max;
    double v;
    if (logarithmic(port))
        v = double(r.min) * std::exp(n * std::log(double(r.max) / double(r.min)));
    else
        v = double(r.min) + n * (double(r.max) - double(r.min));
    return control_sanitize(port, float(v));
}

float control_step(uint32_t port, float value, double delta)
{
    return control_from_normal(port, control_to_normal(port, value) + delta);
}

size_t control_format(uint32_t port, float value, char* text, size_t size)
{
    if (size == 0)
        return 0;
    const ControlUnit unit = port < CONTROL_PORT_COUNT ? CONTROL_INFO[port].unit : ControlUnit::coef;
    const double v = std::isfinite(value) ? double(value) : 0.0;
    int n = 0;
    switch (unit) {
    case ControlUnit::coef:
        if (!control_is_signed(port)) {
            n = std::snprintf(text, size, "%.0f %%", v * 100.0);
        } else {
            const double p = v * 100.0;
            n = std::fabs(p) < 0.5 ? std::snprintf(text, size, "0 %%")
                                   : std::snprintf(text, size, "%+.0f %%", p);
        }
        break;
    case ControlUnit::s:
        n = std::snprintf(text, size, v < 10.0 ? "%.2f s" : "%.1f s", v);
        break;
    case ControlUnit::ms:
        n = std::snprintf(text, size, v < 10.0 ? "%.1f ms" : "%.0f ms", v);
        break;
    case ControlUnit::m:
        n = std::snprintf(text, size, "%.0f m", v);
        break;
    case ControlUnit::hz:
        if (v >= 9995.0)
            n = std::snprintf(text, size, "%.1f kHz", v / 1000.0);
        else if (v >= 999.5)
            n = std::snprintf(text, size, "%.2f kHz", v / 1000.0);
        else
            n = std::snprintf(text, size, v < 100.0 ? "%.1f Hz" : "%.0f Hz", v);
        break;
    case ControlUnit::db:
        n = value <= WET_LEVEL_SILENT_DB ? std::snprintf(text, size, "-inf dB")
            : std::fabs(v) < 0.05      ? std::snprintf(text, size, "0.0 dB")
                                       : std::snprintf(text, size, "%+.1f dB", v);
        break;
    }
    if (n < 0) {
        text[0] = '\0';
        return 0;
    }
    return size_t(n) < size ? size_t(n) : size - 1;
}

namespace {

bool is_space(char c) { return c == ' ' || c == '\t'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// True when `text` equals `word`, ignoring case.
bool equals(const char* text, const char* word)
{
    for (; *word; ++text, ++word)
        if (lower(*text) != *word)
            return false;
    return *text == '\0';
}

// A decimal number at *at (sign, digits, one '.' or ',', digits), read
// without the C library's locale-dependent conversions. Moves *at past it.
bool read_number(const char** at, double* number)
{
    const char* p = *at;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    double mantissa = 0.0;
    int digits = 0, fraction_digits = 0;
    bool point = false;
    for (;; ++p) {
        if (*p >= '0' && *p <= '9') {
            if (digits < 17) {  // later digits cannot change a float
                mantissa = mantissa * 10.0 + double(*p - '0');
                if (point)
                    ++fraction_digits;
            } else if (!point) {
                return false;  // an integer part this long overflows every range
            }
            ++digits;
        } else if ((*p == '.' || *p == ',') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    *number = (negative ? -mantissa : mantissa) / std::pow(10.0, fraction_digits);
    *at = p;
    return true;
}

// The units a typed value may carry for a control of each unit, and what
// each multiplies the number by. An empty suffix is a bare number, read in
// the unit shown (a percentage for a coefficient).
struct UnitSuffix {
    ControlUnit unit;
    const char* suffix;  // lower case
    double scale;
};

constexpr UnitSuffix UNIT_SUFFIXES[] = {
    {ControlUnit::coef, "", 0.01}, {ControlUnit::coef, "%", 0.01},
    {ControlUnit::s, "", 1.0}, {ControlUnit::s, "s", 1.0}, {ControlUnit::s, "ms", 0.001},
    {ControlUnit::ms, "", 1.0}, {ControlUnit::ms, "ms", 1.0}, {ControlUnit::ms, "s", 1000.0},
    {ControlUnit::m, "", 1.0}, {ControlUnit::m, "m", 1.0},
    {ControlUnit::hz, "", 1.0}, {ControlUnit::hz, "hz", 1.0},
    {ControlUnit::hz, "k", 1000.0}, {ControlUnit::hz, "khz", 1000.0},
    {ControlUnit::db, "", 1.0}, {ControlUnit::db, "db", 1.0},
};

}  // namespace

bool control_parse(uint32_t port, const char* text, float* value)
{
    if (port >= CONTROL_PORT_COUNT || !text)
        return false;
    const ControlUnit unit = CONTROL_INFO[port].unit;
    const ControlRange& r = CONTROL_RANGES[port];
    const char* p = text;
    while (is_space(*p))
        ++p;

    double number = 0.0;
    const char* rest = p;
    if (unit == ControlUnit::db && (lower(p[0]) == '-' && lower(p[1]) == 'i')) {
        number = double(WET_LEVEL_SILENT_DB);
        rest = p + 1;
        if (lower(rest[0]) != 'i' || lower(rest[1]) != 'n' || lower(rest[2]) != 'f')
            return false;
        rest += 3;
    } else if (!read_number(&rest, &number)) {
        return false;
    }
    while (is_space(*rest))
        ++rest;
    // The unit: what is left, trailing blanks removed.
    char suffix[8];
    size_t length = 0;
    for (const char* q = rest; *q; ++q) {
        if (length + 1 >= sizeof suffix)
            return false;
        suffix[length++] = *q;
    }
    while (length > 0 && is_space(suffix[length - 1]))
        --length;
    suffix[length] = '\0';

    double scale = 0.0;  // stays 0 for a unit that does not fit
    for (const UnitSuffix& u : UNIT_SUFFIXES)
        if (u.unit == unit && equals(suffix, u.suffix))
            scale = u.scale;
    if (scale == 0.0)
        return false;
    const double v = number * scale;
    if (!std::isfinite(v))
        return false;
    *value = v < double(r.min) ? r.min : v > double(r.max) ? r.max : float(v);
    return true;
}
