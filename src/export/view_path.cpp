#include "export/view_path.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <numbers>
#include <sstream>

namespace hv {

namespace {

constexpr double kPi = std::numbers::pi;
// Largest magnitude a number of the file may have: times and angles far
// beyond any real path, small enough that no arithmetic on them overflows.
constexpr double kMaxNumber = 1e9;
// The format nests an object in an array in an object; a value deeper than
// this is not a view path.
constexpr int kMaxDepth = 4;
// The field of view a path may have, degrees (horizontal), and how far past
// a limit a vertical fov read from a sendcmd file may convert.
constexpr double kMinFov = 1;
constexpr double kMaxFov = 150;
constexpr double kFovSlack = 0.01;

// A parsed JSON value, only what the format uses. (Members are a struct of
// their own: a std::pair of an incomplete Value does not compile with
// every standard library.)
struct Member;
struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    double number = 0;
    bool boolean = false;
    std::string text;
    std::vector<Value> items;
    std::vector<Member> members;
};
struct Member {
    std::string first;
    Value second;
};

class Reader {
  public:
    explicit Reader(const std::string& text) : s_(text) {}

    bool Document(Value* v, std::string* error) {
        if (!Parse(v, 0)) {
            *error = error_;
            return false;
        }
        SkipBlanks();
        if (pos_ != s_.size()) {
            *error = Where("text after the end of the document");
            return false;
        }
        return true;
    }

  private:
    std::string Where(const std::string& what) const {
        return what + " at byte " + std::to_string(pos_);
    }
    bool Fail(const std::string& what) {
        if (error_.empty()) error_ = Where(what);
        return false;
    }
    void SkipBlanks() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }
    bool Literal(const char* word) {
        const std::string w(word);
        if (s_.compare(pos_, w.size(), w) != 0) return Fail("unknown word");
        pos_ += w.size();
        return true;
    }

    bool Parse(Value* v, int depth) {
        if (depth > kMaxDepth) return Fail("nesting too deep");
        SkipBlanks();
        if (pos_ >= s_.size()) return Fail("unexpected end");
        const char c = s_[pos_];
        if (c == '{') return Object(v, depth);
        if (c == '[') return Array(v, depth);
        if (c == '"') {
            v->kind = Value::Kind::String;
            return String(&v->text);
        }
        if (c == 't' || c == 'f') {
            v->kind = Value::Kind::Bool;
            v->boolean = c == 't';
            return Literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            v->kind = Value::Kind::Null;
            return Literal("null");
        }
        return Number(v);
    }

    bool Number(Value* v) {
        // JSON's grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
        const size_t start = pos_;
        auto digits = [&] {
            const size_t from = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
            return pos_ - from;
        };
        if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
        if (pos_ < s_.size() && s_[pos_] == '0') {
            ++pos_;
        } else if (digits() == 0) {
            return Fail("not a value (numbers like NaN or Infinity are not JSON)");
        }
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            if (digits() == 0) return Fail("bad number");
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            if (digits() == 0) return Fail("bad number");
        }
        if (pos_ - start > 64) return Fail("number too long");
        double d = 0;
        const auto [ptr, ec] = std::from_chars(s_.data() + start, s_.data() + pos_, d);
        if (ec != std::errc() || ptr != s_.data() + pos_ || !std::isfinite(d) ||
            std::fabs(d) > kMaxNumber) {
            pos_ = start;
            return Fail("number out of range (at most 1e9)");
        }
        v->kind = Value::Kind::Number;
        v->number = d;
        return true;
    }

    bool String(std::string* out) {
        ++pos_;  // the opening quote
        while (pos_ < s_.size()) {
            const char c = s_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
            if (c == '\\') {
                if (pos_ >= s_.size()) break;
                const char e = s_[pos_++];
                switch (e) {
                    case '"':
                    case '\\':
                    case '/':
                        out->push_back(e);
                        break;
                    case 'n':
                        out->push_back('\n');
                        break;
                    case 't':
                        out->push_back('\t');
                        break;
                    case 'r':
                        out->push_back('\r');
                        break;
                    case 'b':
                        out->push_back('\b');
                        break;
                    case 'f':
                        out->push_back('\f');
                        break;
                    default:
                        return Fail("unsupported escape in a string");
                }
            } else {
                out->push_back(c);
            }
            if (out->size() > 256) return Fail("string too long");
        }
        return Fail("unterminated string");
    }

    bool Array(Value* v, int depth) {
        v->kind = Value::Kind::Array;
        ++pos_;
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            if (v->items.size() >= 100000) return Fail("too many items");
            v->items.emplace_back();
            if (!Parse(&v->items.back(), depth + 1)) return false;
            SkipBlanks();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == ']') {
                ++pos_;
                return true;
            }
            return Fail("expected ',' or ']'");
        }
    }

    bool Object(Value* v, int depth) {
        v->kind = Value::Kind::Object;
        ++pos_;
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            SkipBlanks();
            if (pos_ >= s_.size() || s_[pos_] != '"') return Fail("expected a key");
            std::string key;
            if (!String(&key)) return false;
            for (const auto& m : v->members) {
                if (m.first == key) return Fail("duplicate key \"" + key + "\"");
            }
            SkipBlanks();
            if (pos_ >= s_.size() || s_[pos_] != ':') return Fail("expected ':'");
            ++pos_;
            v->members.push_back(Member{key, Value{}});
            if (!Parse(&v->members.back().second, depth + 1)) return false;
            SkipBlanks();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == '}') {
                ++pos_;
                return true;
            }
            return Fail("expected ',' or '}'");
        }
    }

    const std::string& s_;
    size_t pos_ = 0;
    std::string error_;
};

double Smooth(double u) {
    return u * u * (3 - 2 * u);
}

// Shortest signed turn from a to b, in -180 .. 180.
double Turn(double a, double b) {
    double d = std::fmod(b - a, 360.0);
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return d;
}

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

// The shortest text that reads back as exactly `v`: a saved path loads as
// the path it was (6 significant digits merged keyframes recorded a few
// milliseconds apart once the time passed 1000 s, and moved every angle).
template <class T>
std::string Exact(T v) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : Num(v);
}

std::string Fixed(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    return buf;
}

double VerticalFov(double fov, double aspect) {
    return 2 * std::atan(std::tan(fov * kPi / 360) * aspect) * 180 / kPi;
}
double HorizontalFov(double vfov, double aspect) {
    return 2 * std::atan(std::tan(vfov * kPi / 360) / aspect) * 180 / kPi;
}

}  // namespace

float WrapDegrees(double degrees) {
    double d = std::fmod(degrees, 360.0);
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return static_cast<float>(d);
}

bool ViewPath::Validate(std::string* error) const {
    if (keys_.empty()) {
        *error = "the view path has no keyframes";
        return false;
    }
    for (size_t i = 0; i < keys_.size(); ++i) {
        const ViewKeyframe& k = keys_[i];
        const std::string which = "keyframe " + std::to_string(i + 1);
        if (!std::isfinite(k.t) || !std::isfinite(k.pan) || !std::isfinite(k.tilt) ||
            !std::isfinite(k.fov) || std::fabs(k.t) > kMaxNumber || std::fabs(k.pan) > kMaxNumber) {
            *error = which + ": numbers must be finite and at most 1e9";
            return false;
        }
        if (k.t < 0) {
            *error = which + ": time must not be negative";
            return false;
        }
        if (i > 0 && !(k.t > keys_[i - 1].t)) {
            *error = which + ": times must increase (" + Num(k.t) + " s follows " +
                     Num(keys_[i - 1].t) + " s)";
            return false;
        }
        if (k.tilt < -90 || k.tilt > 90) {
            *error = which + ": tilt must lie within -90..90";
            return false;
        }
        if (k.fov < kMinFov || k.fov > kMaxFov) {
            *error = which + ": fov must lie within 1..150";
            return false;
        }
    }
    return true;
}

ViewAngles ViewPath::At(double t) const {
    if (keys_.empty()) return {};
    const ViewKeyframe* a = &keys_.front();
    if (!(t > a->t) || keys_.size() == 1) return {WrapDegrees(a->pan), a->tilt, a->fov};
    const auto next = std::upper_bound(keys_.begin(), keys_.end(), t,
                                       [](double v, const ViewKeyframe& k) { return v < k.t; });
    if (next == keys_.end()) {
        const ViewKeyframe& z = keys_.back();
        return {WrapDegrees(z.pan), z.tilt, z.fov};
    }
    a = &*(next - 1);
    const ViewKeyframe& b = *next;
    const double u = std::clamp((t - a->t) / (b.t - a->t), 0.0, 1.0);
    const double e = a->ease == ViewEase::Smooth ? Smooth(u) : u;
    ViewAngles v;
    v.pan = WrapDegrees(a->pan + Turn(a->pan, b.pan) * e);
    v.tilt = static_cast<float>(a->tilt + (static_cast<double>(b.tilt) - a->tilt) * e);
    v.fov = static_cast<float>(a->fov + (static_cast<double>(b.fov) - a->fov) * e);
    return v;
}

bool ParseViewPathJson(const std::string& text, ViewPath* path, std::string* error) {
    if (text.size() > (8u << 20)) {
        *error = "the view path file is too large";
        return false;
    }
    Value doc;
    std::string why;
    if (!Reader(text).Document(&doc, &why)) {
        *error = "not a view path: " + why;
        return false;
    }
    if (doc.kind != Value::Kind::Object) {
        *error = "not a view path: the document must be an object";
        return false;
    }
    const Value* version = nullptr;
    const Value* keyframes = nullptr;
    for (const auto& [key, value] : doc.members) {
        if (key == "version") {
            version = &value;
        } else if (key == "keyframes") {
            keyframes = &value;
        } else {
            *error = "not a view path: unknown key \"" + key + "\"";
            return false;
        }
    }
    if (version == nullptr || version->kind != Value::Kind::Number || version->number != 1) {
        *error = "not a view path: \"version\" must be 1";
        return false;
    }
    if (keyframes == nullptr || keyframes->kind != Value::Kind::Array) {
        *error = "not a view path: \"keyframes\" must be a list";
        return false;
    }
    std::vector<ViewKeyframe> keys;
    for (size_t i = 0; i < keyframes->items.size(); ++i) {
        const Value& item = keyframes->items[i];
        const std::string which = "keyframe " + std::to_string(i + 1);
        if (item.kind != Value::Kind::Object) {
            *error = which + " is not an object";
            return false;
        }
        ViewKeyframe k;
        bool hasT = false;
        for (const auto& [key, value] : item.members) {
            if (key == "ease") {
                if (value.kind != Value::Kind::String ||
                    (value.text != "smooth" && value.text != "linear")) {
                    *error = which + ": \"ease\" must be \"smooth\" or \"linear\"";
                    return false;
                }
                k.ease = value.text == "smooth" ? ViewEase::Smooth : ViewEase::Linear;
                continue;
            }
            if (key != "t" && key != "pan" && key != "tilt" && key != "fov") {
                *error = which + ": unknown key \"" + key + "\"";
                return false;
            }
            if (value.kind != Value::Kind::Number) {
                *error = which + ": \"" + key + "\" must be a number";
                return false;
            }
            if (key == "t") {
                k.t = value.number;
                hasT = true;
            } else if (key == "pan") {
                k.pan = static_cast<float>(value.number);
            } else if (key == "tilt") {
                k.tilt = static_cast<float>(value.number);
            } else {
                k.fov = static_cast<float>(value.number);
            }
        }
        if (!hasT) {
            *error = which + " has no time \"t\"";
            return false;
        }
        keys.push_back(k);
    }
    ViewPath result(std::move(keys));
    if (!result.Validate(error)) return false;
    *path = std::move(result);
    return true;
}

std::string ViewPathToJson(const ViewPath& path) {
    std::string s = "{\"version\": 1, \"keyframes\": [\n";
    const auto& keys = path.keyframes();
    for (size_t i = 0; i < keys.size(); ++i) {
        const ViewKeyframe& k = keys[i];
        s += "  {\"t\": " + Exact(k.t) + ", \"pan\": " + Exact(k.pan) +
             ", \"tilt\": " + Exact(k.tilt) + ", \"fov\": " + Exact(k.fov) + ", \"ease\": \"" +
             (k.ease == ViewEase::Smooth ? "smooth" : "linear") + "\"}" +
             (i + 1 < keys.size() ? ",\n" : "\n");
    }
    return s + "]}\n";
}

std::string ViewPathToSendCmd(const ViewPath& path, double durationSeconds, double fps,
                              double aspect) {
    std::string s;
    if (!(fps > 0) || !(durationSeconds > 0)) return s;
    const int64_t frames = static_cast<int64_t>(std::ceil(durationSeconds * fps - 1e-9));
    for (int64_t n = 0; n < frames; ++n) {
        const double t = n / fps;
        const ViewAngles v = path.At(t);
        s += Fixed(t) + " v360 yaw " + Fixed(v.pan) + ", v360 pitch " + Fixed(-v.tilt) +
             ", v360 v_fov " + Fixed(VerticalFov(v.fov, aspect)) + ";\n";
    }
    return s;
}

bool ParseSendCmd(const std::string& text, double aspect, ViewPath* path, std::string* error) {
    if (!(aspect > 0)) {
        *error = "the picture's aspect is needed to read v_fov";
        return false;
    }
    // Entries are separated by ';'; '#' starts a comment up to the end of line.
    std::string clean;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '#') {
            while (i < text.size() && text[i] != '\n') ++i;
            clean.push_back('\n');
        } else {
            clean.push_back(text[i]);
        }
    }
    std::vector<ViewKeyframe> keys;
    ViewKeyframe current;
    current.pan = 0;
    current.tilt = 0;
    current.fov = 100;
    current.ease = ViewEase::Linear;
    size_t start = 0;
    int entry = 0;
    while (start < clean.size()) {
        size_t end = clean.find(';', start);
        const bool last = end == std::string::npos;
        std::string item = clean.substr(start, last ? std::string::npos : end - start);
        start = last ? clean.size() : end + 1;
        std::istringstream in(item);
        std::string interval;
        if (!(in >> interval)) continue;  // blank
        ++entry;
        const std::string which = "sendcmd entry " + std::to_string(entry);
        if (last) {
            *error = which + " does not end with ';'";
            return false;
        }
        const std::string startText = interval.substr(0, interval.find('-', 1));
        double t = 0;
        const auto [ptr, ec] =
            std::from_chars(startText.data(), startText.data() + startText.size(), t);
        if (ec != std::errc() || ptr != startText.data() + startText.size() || !std::isfinite(t) ||
            t < 0 || t > kMaxNumber) {
            *error = which + ": bad time '" + interval + "'";
            return false;
        }
        // Commands: [flags] target command argument, separated by ','.
        std::string rest;
        std::getline(in, rest, '\0');
        std::stringstream commands(rest);
        std::string command;
        bool any = false;
        while (std::getline(commands, command, ',')) {
            std::istringstream c(command);
            std::string target, name, arg;
            if (!(c >> target)) continue;
            if (target[0] == '[') {
                if (target != "[enter]") {
                    *error = which + ": only constant values are read (" + target + ")";
                    return false;
                }
                if (!(c >> target)) continue;
            }
            if (!(c >> name >> arg)) {
                *error = which + ": incomplete command '" + command + "'";
                return false;
            }
            if (target != "v360" && target.rfind("v360@", 0) != 0) continue;
            if (arg.size() >= 2 && (arg.front() == '\'' || arg.front() == '"') &&
                arg.back() == arg.front())
                arg = arg.substr(1, arg.size() - 2);
            double v = 0;
            const auto [p2, e2] = std::from_chars(arg.data(), arg.data() + arg.size(), v);
            if (e2 != std::errc() || p2 != arg.data() + arg.size() || !std::isfinite(v) ||
                std::fabs(v) > kMaxNumber) {
                *error = which + ": " + name + " takes a number, not '" + arg + "'";
                return false;
            }
            if (name == "yaw") {
                current.pan = static_cast<float>(v);
            } else if (name == "pitch") {
                current.tilt = static_cast<float>(-v);
            } else if (name == "v_fov") {
                // v_fov comes with a few decimals (ours: four), so a path
                // at a fov limit converts to just past it: that is the limit.
                double fov = HorizontalFov(v, aspect);
                if (fov < kMinFov && fov > kMinFov - kFovSlack) fov = kMinFov;
                if (fov > kMaxFov && fov < kMaxFov + kFovSlack) fov = kMaxFov;
                current.fov = static_cast<float>(fov);
            } else if (name == "h_fov") {
                current.fov = static_cast<float>(v);
            } else {
                continue;
            }
            any = true;
        }
        if (!any) continue;
        current.t = t;
        if (!keys.empty() && keys.back().t == t) {
            keys.back() = current;
        } else {
            keys.push_back(current);
        }
    }
    ViewPath result(std::move(keys));
    if (!result.Validate(error)) return false;
    *path = std::move(result);
    return true;
}

}  // namespace hv
