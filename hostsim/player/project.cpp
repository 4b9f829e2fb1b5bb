#include "hostsim/player/project.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>

namespace zqplay {
namespace {

struct Word {
    std::string text;
    bool quoted = false;
};

// Splits a line into words; "..." keeps spaces in one word, '#' outside
// quotes ends the line. False, with `error` set, on a malformed line.
bool Tokenize(const std::string& line, std::vector<Word>& words, std::string& error) {
    size_t i = 0;
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (i < line.size()) {
        while (i < line.size() && space(line[i])) ++i;
        if (i >= line.size() || line[i] == '#') break;
        Word w;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string::npos) {
                error = "the quote at column " + std::to_string(i + 1) + " is never closed: expected a closing \"";
                return false;
            }
            w.text = line.substr(i + 1, close - i - 1);
            w.quoted = true;
            i = close + 1;
            if (i < line.size() && !space(line[i]) && line[i] != '#') {
                error = "expected a space after the closing quote at column " + std::to_string(i);
                return false;
            }
        } else {
            while (i < line.size() && !space(line[i])) {
                if (line[i] == '"') {
                    error = "a quote inside a word at column " + std::to_string(i + 1) +
                            ": expected quotes around the whole word";
                    return false;
                }
                w.text += line[i++];
            }
        }
        for (unsigned char c : w.text) {
            if (c < 0x20) {
                error = "a control character (code " + std::to_string(c) + ") in the line: expected text";
                return false;
            }
        }
        words.push_back(std::move(w));
    }
    return true;
}

// Words that mean something in a value or a command: never a name.
bool IsKeyword(const std::string& w) {
    static const char* const kKeywords[] = {"empty", "message", "on",    "off",  "yes",    "no",      "true",
                                            "false", "int",     "bool",  "float", "string", "ref",     "longref",
                                            "point", "event",   "with",  "printer", "printout", "when",
                                            "surface", "bottomup", "colour", "color"};
    for (const char* k : kKeywords)
        if (w == k) return true;
    return false;
}

bool LooksLikeName(const std::string& w) {
    if (w.empty() || !(std::isalpha(static_cast<unsigned char>(w[0])) || w[0] == '_')) return false;
    for (unsigned char c : w)
        if (!(std::isalnum(c) || c == '_' || c == '-' || c == '.')) return false;
    return true;
}

bool ParseInteger(const std::string& w, long long& out) {
    if (w.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const bool hex = w.size() > 2 && w[0] == '0' && (w[1] == 'x' || w[1] == 'X');
    out = std::strtoll(w.c_str(), &end, hex ? 16 : 10);
    return errno == 0 && *end == 0 && !std::isspace(static_cast<unsigned char>(w[0]));
}

bool ParseReal(const std::string& w, double& out) {
    if (w.empty() || std::isspace(static_cast<unsigned char>(w[0]))) return false;
    char* end = nullptr;
    out = std::strtod(w.c_str(), &end);
    return *end == 0 && std::isfinite(out);
}

bool EndsWithBmp(const std::string& file) {
    if (file.size() < 5) return false;
    std::string ext = file.substr(file.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".bmp";
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return base;
}

struct Declaration {
    enum class Kind { Element, HostVariable, Instance } kind;
    Verb variableKind = Verb::String;      // host variables
    const Component* component = nullptr;  // instances
    int line = 0;
    int destroyedOn = 0;
};

// Checks one line and fills its command. Names declared by earlier lines are
// in `names`; a declaration adds its own.
class LineParser {
public:
    LineParser(std::vector<Word> words, int line, std::map<std::string, Declaration>& names,
               std::map<std::string, int>& snapshots, std::string& error)
        : w_(std::move(words)), line_(line), names_(names), snapshots_(snapshots), error_(error) {}

    bool Parse(Command& c) {
        c.line = line_;
        const Word& verb = w_[0];
        if (verb.quoted) return Fail("expected a command, got the text \"" + verb.text + "\"");
        if (verb.text == "when") {
            if (!Keyword("printer", "'printer' after 'when'")) return false;
            if (AtEnd()) return Fail("expected a printer name after 'when printer'");
            c.printer = Next().text;
            if (AtEnd()) return Fail("expected a step after 'when printer " + c.printer + "'");
            first_ = pos_;
            const std::string& guarded = w_[pos_].text;
            if (!IsStep(guarded))
                return Fail("expected a step after 'when printer " + c.printer + "', got '" + guarded +
                            "' (declarations always run)");
            ++pos_;
            return Dispatch(guarded, c);
        }
        pos_ = 1;
        return Dispatch(verb.text, c);
    }

private:
    static bool IsStep(const std::string& v) {
        for (const char* s : {"send", "deliver", "draw", "fill", "show", "get", "expect", "save", "load",
                              "activate", "deactivate", "echo"})
            if (v == s) return true;
        return false;
    }

    bool Dispatch(const std::string& v, Command& c) {
        c.text = Text(first_);
        if (v == "element") return ElementLine(c);
        if (v == "string" || v == "integer" || v == "float" || v == "point") return VariableLine(v, c);
        if (v == "create") return CreateLine(c);
        if (v == "set") return SetLine(c);
        if (v == "field" || v == "compact") return RawFieldLine(v == "compact", c);
        if (v == "activate" || v == "deactivate" || v == "destroy") {
            c.verb = v == "activate" ? Verb::Activate : v == "deactivate" ? Verb::Deactivate : Verb::Destroy;
            if (!Instance(c.target) || !End()) return false;
            if (c.verb == Verb::Destroy) names_[c.target].destroyedOn = line_;
            return true;
        }
        if (v == "send") {
            c.verb = Verb::Send;
            return Message(c) && End();
        }
        if (v == "deliver") {
            c.verb = Verb::Deliver;
            return Instance(c.target) && Message(c) && End();
        }
        if (v == "draw") {
            c.verb = Verb::Draw;
            return DeclaredElement(c.target) && End();
        }
        if (v == "fill") {
            c.verb = Verb::Fill;
            return DeclaredElement(c.target) && Integer(0, 255, "a palette index from 0 to 255", c.number) &&
                   End();
        }
        if (v == "show") return ShowLine(c);
        if (v == "get") {
            c.verb = Verb::Get;
            return Declared(c.target) && Attribute(c.attribute) && End();
        }
        if (v == "expect") {
            if (!AtEnd() && !Peek().quoted && Peek().text == "printout") {
                ++pos_;
                c.verb = Verb::ExpectPrintout;
                return Integer(1, 100, "a page count from 1 to 100", c.number) && End();
            }
            c.verb = Verb::Expect;
            return Declared(c.target) && Attribute(c.attribute) && LooseValue(c.value) && End();
        }
        if (v == "save" || v == "load") {
            c.verb = v == "save" ? Verb::Save : Verb::Load;
            return Instance(c.target) && FileName(c.file, "a file name") && End();
        }
        if (v == "picture") return PictureLine(c);
        if (v == "folder") {
            c.verb = Verb::Folder;
            return FileName(c.file, "a folder name") && End();
        }
        if (v == "remember") {
            c.verb = Verb::Remember;
            if (!Declared(c.target)) return false;
            const Declaration& d = names_[c.target];
            if (d.kind != Declaration::Kind::HostVariable || d.variableKind != Verb::String)
                return Fail("expected a string variable to remember a file name in, got '" + c.target + "'");
            return End();
        }
        if (v == "describe") {
            c.verb = Verb::Describe;
            return ComponentName(c.component) && End();
        }
        if (v == "echo") {
            c.verb = Verb::Echo;
            c.text = Text(pos_);
            pos_ = w_.size();
            return true;
        }
        return Fail("unknown command '" + v +
                    "'; expected one of: element, string, integer, float, point, create, set, field, compact, "
                    "activate, deactivate, destroy, send, deliver, draw, fill, show, get, expect, save, load, "
                    "picture, folder, remember, describe, echo, when");
    }

    bool ElementLine(Command& c) {
        c.verb = Verb::Element;
        if (!NewName(c.target)) return false;
        const char* coordinate = "a coordinate from -32768 to 32767";
        if (!Integer(-32768, 32767, coordinate, c.left) || !Integer(-32768, 32767, coordinate, c.top) ||
            !Integer(-32768, 32767, coordinate, c.right) || !Integer(-32768, 32767, coordinate, c.bottom))
            return false;
        if (c.right < c.left || c.bottom < c.top)
            return Fail("expected RIGHT >= LEFT and BOTTOM >= TOP, got the rectangle " + std::to_string(c.left) +
                        " " + std::to_string(c.top) + " " + std::to_string(c.right) + " " +
                        std::to_string(c.bottom));
        c.width = c.height = 64;
        while (!AtEnd()) {
            const Word& option = Next();
            if (option.text == "surface" && !option.quoted) {
                if (!Integer(1, 4096, "a surface width from 1 to 4096", c.width) ||
                    !Integer(1, 4096, "a surface height from 1 to 4096", c.height))
                    return false;
            } else if (option.text == "bottomup" && !option.quoted) {
                c.bottomUp = true;
            } else if ((option.text == "colour" || option.text == "color") && !option.quoted) {
                c.colour = true;
            } else {
                return Fail("unknown element option '" + option.text + "'; expected surface W H, bottomup or colour");
            }
        }
        names_[c.target] = {Declaration::Kind::Element, Verb::Element, nullptr, line_};
        return true;
    }

    bool VariableLine(const std::string& v, Command& c) {
        c.verb = v == "string" ? Verb::String : v == "integer" ? Verb::Integer : v == "float" ? Verb::Float : Verb::Point;
        if (!NewName(c.target)) return false;
        ProjectValue& value = c.value;
        if (c.verb == Verb::String) {
            if (AtEnd()) return Fail("expected the variable's text after '" + c.target + "'");
            value.kind = ProjectValue::Kind::String;
            value.text = Next().text;
        } else if (c.verb == Verb::Integer) {
            value.kind = ProjectValue::Kind::Integer;
            if (!Integer(INT32_MIN, INT32_MAX, "a whole number", value.a)) return false;
        } else if (c.verb == Verb::Float) {
            value.kind = ProjectValue::Kind::Float;
            if (!Real(value.real)) return false;
        } else {
            value.kind = ProjectValue::Kind::Point;
            if (!Integer(-32768, 32767, "a point's x from -32768 to 32767", value.a) ||
                !Integer(-32768, 32767, "a point's y from -32768 to 32767", value.b))
                return false;
        }
        if (!End()) return false;
        names_[c.target] = {Declaration::Kind::HostVariable, c.verb, nullptr, line_};
        return true;
    }

    bool CreateLine(Command& c) {
        c.verb = Verb::Create;
        if (!NewName(c.target) || !ComponentName(c.component)) return false;
        if (!AtEnd()) {
            if (!Keyword("on", "'on ELEMENT'")) return false;
            if (!DeclaredElement(c.element)) return false;
        }
        if (!End()) return false;
        names_[c.target] = {Declaration::Kind::Instance, Verb::Create, c.component, line_};
        return true;
    }

    bool SetLine(Command& c) {
        c.verb = Verb::Set;
        if (!Instance(c.target)) return false;
        const Component& component = *names_[c.target].component;
        if (!component.type) return Fail(std::string(component.name) + " has no settings");
        if (AtEnd()) return Fail("expected a setting of " + std::string(component.name) + " (" +
                                 SettingNames(component) + ")");
        const Word& name = Next();
        c.field = FindSetting(component, name.text);
        if (!c.field) {
            const Field* state = FindAnyField(component, name.text);
            if (state)
                return Fail(std::string(state->name) + " is " + component.name +
                            "'s own state, not a setting; expected one of: " + SettingNames(component));
            return Fail(std::string(component.name) + " has no setting '" + name.text +
                        "'; expected one of: " + SettingNames(component));
        }
        ProjectValue& v = c.value;
        switch (c.field->kind) {
            case FieldKind::Event: {
                if (!AtEnd() && !Peek().quoted && Peek().text == "event") ++pos_;
                v.kind = ProjectValue::Kind::Event;
                uint32_t q = 0;
                if (!Code(c.code, "an event code")) return false;
                if (!AtEnd() && !Qualifier(q)) return false;
                v.a = static_cast<int32_t>(c.code);
                v.b = static_cast<int32_t>(q);
                break;
            }
            case FieldKind::Boolean:
                if (!AtEnd() && !Peek().quoted && Peek().text == "bool") ++pos_;
                v.kind = ProjectValue::Kind::Boolean;
                if (!OnOff(v.a, c.field->name)) return false;
                break;
            case FieldKind::Integer:
                if (!AtEnd() && !Peek().quoted && Peek().text == "int") ++pos_;
                v.kind = ProjectValue::Kind::Integer;
                if (!Integer(INT32_MIN, INT32_MAX, "a whole number", v.a)) return false;
                break;
            default:
                if (!LooseValue(v)) return false;
        }
        return End();
    }

    bool RawFieldLine(bool compact, Command& c) {
        c.verb = compact ? Verb::Compact : Verb::Field;
        if (!Instance(c.target) || !Integer(0, 65535, "a byte offset from 0 to 65535", c.number) ||
            !LooseValue(c.value) || !End())
            return false;
        size_t bytes = 42;
        if (compact) {
            using K = ProjectValue::Kind;
            bytes = c.value.kind == K::Event ? 10 : c.value.kind == K::Integer ? 6 : c.value.kind == K::Boolean ? 4 : 0;
            if (!bytes) return Fail("expected an event, an integer or a boolean: compact fields hold nothing else");
        }
        const Component& component = *names_[c.target].component;
        if (component.type && c.number + bytes > component.type->instanceSize)
            return Fail("expected a field inside the " + std::to_string(component.type->instanceSize) + "-byte " +
                        component.name + " block, got " + std::to_string(bytes) + " bytes at offset " +
                        std::to_string(c.number));
        return true;
    }

    bool ShowLine(Command& c) {
        c.verb = Verb::Show;
        if (!Declared(c.target)) return false;
        const Declaration& d = names_[c.target];
        const bool bitmap = d.kind == Declaration::Kind::Instance && !d.component->type;
        if (d.kind != Declaration::Kind::Element && !bitmap)
            return Fail("expected an element or a bitmap variable to show, got '" + c.target + "'");
        if (!FileName(c.file, "a snapshot file name")) return false;
        if (!EndsWithBmp(c.file)) return Fail("expected a .bmp file name for the snapshot, got '" + c.file + "'");
        if (!AtEnd() && !Peek().quoted && Peek().text == "stage") {
            if (bitmap) return Fail("expected an element before 'stage': a bitmap variable has no stage");
            ++pos_;
            c.wholeSurface = true;
        }
        if (!End()) return false;
        // Recorded runs keep each snapshot under its own file name.
        auto [it, fresh] = snapshots_.emplace(BaseName(c.file), line_);
        if (!fresh)
            return Fail("expected a new snapshot file name: '" + BaseName(c.file) + "' is written on line " +
                        std::to_string(it->second) + " already");
        return true;
    }

    bool PictureLine(Command& c) {
        c.verb = Verb::Picture;
        if (!FileName(c.file, "a picture file name")) return false;
        if (!EndsWithBmp(c.file)) return Fail("expected a .bmp file name for the picture, got '" + c.file + "'");
        if (!Integer(1, 4096, "a width from 1 to 4096", c.width) || !Integer(1, 4096, "a height from 1 to 4096", c.height))
            return false;
        if (!AtEnd()) {
            const Word& s = Next();
            if (s.text == "grey" || s.text == "gray") c.style = PictureStyle::Grey;
            else if (s.text == "bars") c.style = PictureStyle::Bars;
            else if (s.text == "checker") c.style = PictureStyle::Checker;
            else if (s.text == "gradient") c.style = PictureStyle::Gradient;
            else return Fail("unknown picture style '" + s.text + "'; expected grey, bars, checker or gradient");
        }
        return End();
    }

    // code [qualifier] [with VALUE]
    bool Message(Command& c) {
        if (!Code(c.code, "an event code")) return false;
        if (!AtEnd() && !(Peek().text == "with" && !Peek().quoted) && !Qualifier(c.qualifier)) return false;
        if (!AtEnd() && Peek().text == "with" && !Peek().quoted) {
            ++pos_;
            if (!LooseValue(c.value)) return false;
            c.hasValue = true;
        }
        return true;
    }

    // Any value an author may write.
    bool LooseValue(ProjectValue& v) {
        using K = ProjectValue::Kind;
        if (AtEnd()) return Fail("expected a value at the end of the line");
        const Word& w = Next();
        if (w.quoted) return v.kind = K::String, v.text = w.text, true;
        const std::string& t = w.text;
        long long n;
        double real;
        if (t == "empty") return v.kind = K::Empty, true;
        if (t == "message") return v.kind = K::Message, true;
        if (t == "on" || t == "off" || t == "yes" || t == "no" || t == "true" || t == "false") {
            --pos_;
            return v.kind = K::Boolean, OnOff(v.a, "a boolean");
        }
        if (t == "int") return v.kind = K::Integer, Integer(INT32_MIN, INT32_MAX, "a whole number", v.a);
        if (t == "bool") return v.kind = K::Boolean, OnOff(v.a, "a boolean");
        if (t == "float") return v.kind = K::Float, Real(v.real);
        if (t == "point")
            return v.kind = K::Point, Integer(-32768, 32767, "a point's x from -32768 to 32767", v.a) &&
                                          Integer(-32768, 32767, "a point's y from -32768 to 32767", v.b);
        if (t == "event") {
            uint32_t code = 0, qualifier = 0;
            if (!Code(code, "an event code")) return false;
            if (!AtEnd() && !Qualifier(qualifier)) return false;
            v.kind = K::Event;
            v.a = static_cast<int32_t>(code);
            v.b = static_cast<int32_t>(qualifier);
            return true;
        }
        if (t == "string") {
            if (AtEnd()) return Fail("expected a text after 'string'");
            return v.kind = K::String, v.text = Next().text, true;
        }
        if (t == "ref" || t == "longref") {
            v.kind = t == "ref" ? K::Reference : K::LongReference;
            return Declared(v.text);
        }
        if (ParseInteger(t, n)) {
            if (n < INT32_MIN || n > INT32_MAX) return Fail("expected a whole number that fits 32 bits, got " + t);
            return v.kind = K::Integer, v.a = static_cast<int32_t>(n), true;
        }
        if (ParseReal(t, real)) return v.kind = K::Float, v.real = real, true;
        if (names_.count(t)) {
            --pos_;
            return v.kind = K::Reference, Declared(v.text);
        }
        if (LooksLikeName(t))
            return Fail("'" + t + "' is not declared before this line; a text needs quotes: \"" + t + "\"");
        return Fail("expected a value (a number, on or off, \"text\", empty, message, point X Y, event CODE or a "
                    "declared name), got '" + t + "'");
    }

    bool OnOff(int32_t& out, const std::string& what) {
        if (AtEnd()) return Fail("expected on or off for " + what);
        const Word& w = Next();
        const std::string& t = w.text;
        if (!w.quoted && (t == "on" || t == "yes" || t == "true" || t == "1")) return out = 1, true;
        if (!w.quoted && (t == "off" || t == "no" || t == "false" || t == "0")) return out = 0, true;
        return Fail("expected on or off for " + what + ", got '" + t + "'");
    }

    bool Code(uint32_t& out, const char* what) {
        if (AtEnd()) return Fail(std::string("expected ") + what + " at the end of the line");
        long long n;
        const Word& w = Next();
        if (w.quoted || !ParseInteger(w.text, n) || n < 0 || n > 0xFFFFFFFFll)
            return Fail(std::string("expected ") + what + " from 0 to 4294967295, got '" + w.text + "'");
        out = static_cast<uint32_t>(n);
        return true;
    }
    bool Qualifier(uint32_t& out) { return Code(out, "a qualifier"); }

    bool Integer(long long lo, long long hi, const char* what, int32_t& out) {
        if (AtEnd()) return Fail(std::string("expected ") + what + " at the end of the line");
        long long n;
        const Word& w = Next();
        if (w.quoted || !ParseInteger(w.text, n) || n < lo || n > hi)
            return Fail(std::string("expected ") + what + ", got '" + w.text + "'");
        out = static_cast<int32_t>(n);
        return true;
    }

    bool Real(double& out) {
        if (AtEnd()) return Fail("expected a number at the end of the line");
        const Word& w = Next();
        if (w.quoted || !ParseReal(w.text, out)) return Fail("expected a number, got '" + w.text + "'");
        return true;
    }

    bool Keyword(const char* keyword, const std::string& what) {
        if (AtEnd()) return Fail("expected " + what + " at the end of the line");
        const Word& w = Next();
        if (w.quoted || w.text != keyword) return Fail("expected " + what + ", got '" + w.text + "'");
        return true;
    }

    bool NewName(std::string& out) {
        if (AtEnd()) return Fail("expected a name at the end of the line");
        const Word& w = Next();
        if (w.quoted || !LooksLikeName(w.text))
            return Fail("expected a name (a letter, then letters, digits, '_', '-' or '.'), got '" + w.text + "'");
        if (IsKeyword(w.text)) return Fail("expected a name, got the keyword '" + w.text + "'");
        if (auto it = names_.find(w.text); it != names_.end())
            return Fail("expected a new name: '" + w.text + "' is declared on line " +
                        std::to_string(it->second.line) + " already");
        out = w.text;
        return true;
    }

    bool Declared(std::string& out) {
        if (AtEnd()) return Fail("expected a name at the end of the line");
        const Word& w = Next();
        auto it = names_.find(w.text);
        if (w.quoted || it == names_.end())
            return Fail("expected the name of an element, variable or instance declared before this line, got '" +
                        w.text + "'");
        if (it->second.destroyedOn)
            return Fail("'" + w.text + "' is destroyed on line " + std::to_string(it->second.destroyedOn) +
                        "; expected a live instance");
        out = w.text;
        return true;
    }

    bool DeclaredElement(std::string& out) {
        if (!Declared(out)) return false;
        if (names_[out].kind != Declaration::Kind::Element)
            return Fail("expected an element, got '" + out + "' (declared on line " +
                        std::to_string(names_[out].line) + ")");
        return true;
    }

    bool Instance(std::string& out) {
        if (!Declared(out)) return false;
        if (names_[out].kind != Declaration::Kind::Instance)
            return Fail("expected an instance made by 'create', got '" + out + "' (declared on line " +
                        std::to_string(names_[out].line) + ")");
        return true;
    }

    bool ComponentName(const Component*& out) {
        if (AtEnd()) return Fail("expected a component (" + ComponentNames() + ")");
        const Word& w = Next();
        out = FindComponent(w.text);
        if (!out) return Fail("no component '" + w.text + "'; expected one of: " + ComponentNames());
        return true;
    }

    bool Attribute(std::string& out) {
        if (AtEnd()) return Fail("expected an attribute name at the end of the line");
        const Word& w = Next();
        if (w.text.empty() || w.text.size() > 15)
            return Fail("expected an attribute name of 1 to 15 characters, got '" + w.text + "'");
        out = w.text;
        return true;
    }

    bool FileName(std::string& out, const char* what) {
        if (AtEnd()) return Fail(std::string("expected ") + what + " at the end of the line");
        out = Next().text;
        if (out.empty()) return Fail(std::string("expected ") + what + ", got an empty text");
        return true;
    }

    bool End() {
        if (AtEnd()) return true;
        return Fail("unexpected '" + w_[pos_].text + "' at the end of the line");
    }

    std::string Text(size_t from) const {
        std::string t;
        for (size_t i = from; i < w_.size(); ++i)
            t += (i > from ? " " : "") + (w_[i].quoted ? "\"" + w_[i].text + "\"" : w_[i].text);
        return t;
    }

    bool AtEnd() const { return pos_ >= w_.size(); }
    const Word& Peek() const { return w_[pos_]; }
    const Word& Next() { return w_[pos_++]; }
    bool Fail(const std::string& what) {
        error_ = what;
        return false;
    }

    std::vector<Word> w_;
    size_t pos_ = 1;
    size_t first_ = 0;  // where the command starts, after a guard
    int line_;
    std::map<std::string, Declaration>& names_;
    std::map<std::string, int>& snapshots_;
    std::string& error_;
};

}  // namespace

bool ParseProject(std::istream& in, Project& project, ProjectError& error) {
    std::map<std::string, Declaration> names;
    std::map<std::string, int> snapshots;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::vector<Word> words;
        std::string message;
        if (!Tokenize(line, words, message)) {
            error = {number, message};
            return false;
        }
        if (words.empty()) continue;
        Command c;
        if (!LineParser(std::move(words), number, names, snapshots, message).Parse(c)) {
            error = {number, message};
            return false;
        }
        project.commands.push_back(std::move(c));
    }
    if (in.bad()) {
        error = {number, "the file could not be read to its end"};
        return false;
    }
    return true;
}

}  // namespace zqplay
