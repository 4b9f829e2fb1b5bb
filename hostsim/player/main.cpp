// zqplay <path to zqbitmap.dll> [project]: loads the plug-in through the host
// simulator and prints what it registered; with a project file, plays it.
//
// A project is a list of commands, one per line ('#' starts a comment):
//   element NAME LEFT TOP RIGHT BOTTOM [surface W H] [bottomup]
//   string|integer|float NAME VALUE       point NAME X Y     host variables
//   create NAME TYPE [on ELEMENT]          an instance of a registered type
//   field INST OFFSET VALUE                a 42-byte value field, as the author sets it
//   compact INST OFFSET VALUE              an event, boolean or integer field, its bytes only
//   activate|deactivate|destroy INST
//   send CODE [QUALIFIER] [with VALUE]     to every instance switched on for it
//   deliver INST CODE [QUALIFIER] [with VALUE]
//   get NAME ATTRIBUTE                     prints an attribute of a variable, instance or element
//   expect NAME ATTRIBUTE VALUE            stops the project unless the attribute equals VALUE
//   save INST FILE | load INST FILE        an instance's saved form, through the stream
//   draw ELEMENT | fill ELEMENT BYTE | show ELEMENT FILE.pgm
//   picture FILE.bmp WIDTH HEIGHT          writes an 8-bit grey test picture
//   echo TEXT...
// VALUE: empty | int N | bool 0/1 | float X | point X Y | event CODE [QUALIFIER]
//        | string TEXT | ref NAME | longref NAME | message
// "$PROJECT" in a text stands for the project's folder, with forward slashes.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hostsim/host.h"

namespace {

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

const char* KindName(uint32_t kind) {
    switch (kind) {
        case kKindModifier: return "modifier";
        case kKindVariable: return "variable";
        default: return "unknown";
    }
}

void PrintCatalogue(const Host& host) {
    for (const hostsim::ComponentType& t : host.Catalogue()) {
        std::printf("%-16s  %-8s  size %4lu  base %s (%d)  entry %s\n", t.name.c_str(), KindName(t.componentKind),
                    static_cast<unsigned long>(t.instanceSize), t.baseClassName.c_str(), t.baseCount,
                    t.entryName.c_str());
        for (int16_t row = 0; row < 2; ++row) {
            std::string line;
            for (const hostsim::SlotWrite& w : t.slots) {
                if (w.row != row) continue;
                char entry[32];
                std::snprintf(entry, sizeof entry, " %d/%ld", w.slot, static_cast<long>(w.flags));
                line.append(entry);
            }
            if (!line.empty()) std::printf("    row %d slot/flags:%s\n", row, line.c_str());
        }
    }
}

std::string Describe(const HostValue& v) {
    int32_t i;
    std::memcpy(&i, v.payload, 4);
    char buf[96];
    switch (v.tag) {
        case kTagEmpty: return "empty";
        case kTagInteger: std::snprintf(buf, sizeof buf, "integer %ld", static_cast<long>(i)); return buf;
        case kTagString: return "string \"" + Host::Text(v) + "\"";
        case kTagBoolean: return v.payload[0] || v.payload[1] ? "boolean on" : "boolean off";
        case kTagFloat: {
            double d;
            std::memcpy(&d, v.payload, 8);
            std::snprintf(buf, sizeof buf, "float %g", d);
            return buf;
        }
        case kTagPoint: {
            int16_t x, y;
            std::memcpy(&x, v.payload, 2);
            std::memcpy(&y, v.payload + 2, 2);
            std::snprintf(buf, sizeof buf, "point %d %d", x, y);
            return buf;
        }
        default: std::snprintf(buf, sizeof buf, "tag %d", v.tag); return buf;
    }
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::string w;
        if (line[i] == '"') {
            const size_t end = line.find('"', i + 1);
            w = line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? line.size() : end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') w += line[i++];
        }
        words.push_back(w);
    }
    return words;
}

class Player {
public:
    Player(Host& host, std::string projectDir) : host_(host), projectDir_(std::move(projectDir)) {}

    bool Run(std::istream& in) {
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            const std::vector<std::string> words = Split(line);
            if (words.empty()) continue;
            error_.clear();
            if (!Command(words)) {
                std::fprintf(stderr, "line %d: %s\n", number, error_.empty() ? "unknown command" : error_.c_str());
                return false;
            }
        }
        return true;
    }

private:
    bool Fail(const std::string& what) {
        error_ = what;
        return false;
    }
    std::string Expand(std::string text) const {
        for (size_t at; (at = text.find("$PROJECT")) != std::string::npos;) text.replace(at, 8, projectDir_);
        return text;
    }
    static bool Number(const std::string& s, long& out) {
        char* end = nullptr;
        out = std::strtol(s.c_str(), &end, 0);
        return !s.empty() && *end == 0;
    }
    bool Id(const std::string& name, ObjectId& id) const {
        if (auto v = variables_.find(name); v != variables_.end()) return id = v->second, true;
        if (auto i = instances_.find(name); i != instances_.end()) return id = host_.IdOf(i->second), true;
        if (auto e = elements_.find(name); e != elements_.end()) return id = e->second, true;
        return false;
    }
    bool Instance(const std::string& name, Handle& h) {
        auto it = instances_.find(name);
        if (it == instances_.end()) return Fail("no instance " + name);
        h = it->second;
        return true;
    }
    bool Element(const std::string& name, ObjectId& id) {
        auto it = elements_.find(name);
        if (it == elements_.end()) return Fail("no element " + name);
        id = it->second;
        return true;
    }

    // VALUE starting at words[i].
    bool Value(const std::vector<std::string>& w, size_t i, HostValue& v) {
        if (i >= w.size()) return Fail("value missing");
        const std::string& kind = w[i];
        long a = 0, b = 0;
        auto num = [&](size_t k, long& out) { return k < w.size() && Number(w[k], out); };
        if (kind == "empty") return v = Host::Empty(), true;
        if (kind == "message") return v = Host::MessageData(), true;
        if (kind == "int" && num(i + 1, a)) return v = Host::Integer(static_cast<int32_t>(a)), true;
        if (kind == "bool" && num(i + 1, a)) return v = Host::Boolean(a != 0), true;
        if (kind == "float" && i + 1 < w.size()) return v = Host::Float(std::strtod(w[i + 1].c_str(), nullptr)), true;
        if (kind == "point" && num(i + 1, a) && num(i + 2, b))
            return v = Host::Point(static_cast<int16_t>(a), static_cast<int16_t>(b)), true;
        if (kind == "event" && num(i + 1, a)) {
            if (!num(i + 2, b)) b = 0;
            return v = Host::Event(static_cast<uint32_t>(a), static_cast<uint32_t>(b)), true;
        }
        if (kind == "string" && i + 1 < w.size()) return v = host_.String(Expand(w[i + 1])), true;
        ObjectId id;
        if ((kind == "ref" || kind == "longref") && i + 1 < w.size() && Id(w[i + 1], id))
            return v = kind == "ref" ? Host::Reference(id) : Host::LongReference(id), true;
        return Fail("bad value at '" + kind + "'");
    }

    bool Message(const std::vector<std::string>& w, size_t i, long& code, long& qualifier, HostValue& carried,
                 bool& hasValue) {
        if (i >= w.size() || !Number(w[i], code)) return Fail("event code missing");
        qualifier = 0;
        hasValue = false;
        if (i + 1 < w.size() && Number(w[i + 1], qualifier)) ++i;
        if (i + 1 < w.size() && w[i + 1] == "with") {
            if (!Value(w, i + 2, carried)) return false;
            hasValue = true;
        }
        return true;
    }

    bool Command(const std::vector<std::string>& w) {
        const std::string& c = w[0];
        long a, b, x, y;
        Handle inst;
        ObjectId el;
        HostValue v;
        if (c == "echo") {
            std::string text;
            for (size_t i = 1; i < w.size(); ++i) text += (i > 1 ? " " : "") + w[i];
            std::printf("%s\n", text.c_str());
            return true;
        }
        if (c == "element" && w.size() >= 6 && Number(w[2], a) && Number(w[3], b) && Number(w[4], x) &&
            Number(w[5], y)) {
            hostsim::ElementSpec spec;
            spec.rect = {static_cast<int16_t>(a), static_cast<int16_t>(b), static_cast<int16_t>(x),
                         static_cast<int16_t>(y)};
            for (size_t i = 6; i < w.size(); ++i) {
                long sw, sh;
                if (w[i] == "surface" && i + 2 < w.size() && Number(w[i + 1], sw) && Number(w[i + 2], sh)) {
                    spec.surfaceWidth = static_cast<int>(sw);
                    spec.surfaceRows = static_cast<int>(sh);
                    i += 2;
                } else if (w[i] == "bottomup") {
                    spec.bottomUp = true;
                } else {
                    return Fail("bad element option " + w[i]);
                }
            }
            const ObjectId id = host_.NewElement(spec);
            if (!id) return Fail("no surface");
            elements_[w[1]] = id;
            return true;
        }
        if (c == "string" && w.size() == 3) return variables_[w[1]] = host_.NewStringVariable(Expand(w[2])), true;
        if (c == "integer" && w.size() == 3 && Number(w[2], a))
            return variables_[w[1]] = host_.NewIntegerVariable(static_cast<int32_t>(a)), true;
        if (c == "float" && w.size() == 3)
            return variables_[w[1]] = host_.NewFloatVariable(std::strtod(w[2].c_str(), nullptr)), true;
        if (c == "point" && w.size() == 4 && Number(w[2], x) && Number(w[3], y))
            return variables_[w[1]] = host_.NewPointVariable(static_cast<int16_t>(x), static_cast<int16_t>(y)), true;
        if (c == "create" && w.size() >= 3) {
            el = 0;
            if (w.size() == 5 && w[3] == "on" && !Element(w[4], el)) return false;
            if (w.size() != 3 && w.size() != 5) return Fail("create NAME TYPE [on ELEMENT]");
            Handle h = host_.Create(w[2], el);
            if (!h) return Fail("cannot create " + w[2]);
            instances_[w[1]] = h;
            return true;
        }
        if ((c == "field" || c == "compact") && w.size() >= 4 && Instance(w[1], inst) && Number(w[2], a)) {
            if (!Value(w, 3, v)) return false;
            if (c == "field") {
                host_.SetField(inst, static_cast<size_t>(a), v);
                return true;
            }
            size_t bytes = v.tag == kTagEvent ? 10 : v.tag == kTagInteger ? 6 : v.tag == kTagBoolean ? 4 : 0;
            if (!bytes) return Fail("compact fields hold an event, an integer or a boolean");
            if (a < 0 || static_cast<size_t>(a) + bytes > host_.BlockSize(inst)) return Fail("field past the block");
            std::memcpy(inst + a, &v, bytes);
            return true;
        }
        if ((c == "activate" || c == "deactivate" || c == "destroy") && w.size() == 2 && Instance(w[1], inst)) {
            if (c == "destroy") {
                host_.Destroy(inst);
                instances_.erase(w[1]);
                return true;
            }
            std::printf("%s %s -> %d\n", c.c_str(), w[1].c_str(),
                        c == "activate" ? host_.Activate(inst) : host_.Deactivate(inst));
            return true;
        }
        if (c == "send") {
            bool hasValue;
            if (!Message(w, 1, a, b, v, hasValue)) return false;
            const auto sent = host_.Send(static_cast<uint32_t>(a), static_cast<uint32_t>(b), hasValue ? &v : nullptr);
            std::printf("send %ld/%ld:", a, b);
            for (const auto& d : sent) std::printf(" %s -> %d", NameOf(d.instance).c_str(), d.result);
            std::printf("%s\n", sent.empty() ? " nobody" : "");
            return true;
        }
        if (c == "deliver" && w.size() >= 3 && Instance(w[1], inst)) {
            bool hasValue;
            if (!Message(w, 2, a, b, v, hasValue)) return false;
            std::printf("deliver %s %ld/%ld -> %d\n", w[1].c_str(), a, b,
                        host_.Deliver(inst, static_cast<uint32_t>(a), static_cast<uint32_t>(b),
                                      hasValue ? &v : nullptr));
            return true;
        }
        if (c == "get" && w.size() == 3) return Get(w[1], w[2]);
        if (c == "expect" && w.size() >= 4) return Expect(w);
        if (c == "save" && w.size() == 3 && Instance(w[1], inst)) {
            const std::vector<uint8_t> bytes = host_.Save(inst);
            std::ofstream out(Expand(w[2]), std::ios::binary);
            if (!out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
                return Fail("cannot write " + w[2]);
            std::printf("save %s -> %u bytes\n", w[1].c_str(), static_cast<unsigned>(bytes.size()));
            return true;
        }
        if (c == "load" && w.size() == 3 && Instance(w[1], inst)) {
            std::ifstream in(Expand(w[2]), std::ios::binary);
            if (!in) return Fail("cannot read " + w[2]);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            std::printf("load %s -> %d\n", w[1].c_str(), host_.Load(inst, bytes));
            return true;
        }
        if (c == "draw" && w.size() == 2 && Element(w[1], el)) {
            const auto calls = host_.Draw(el);
            std::printf("draw %s:", w[1].c_str());
            for (const auto& d : calls) std::printf(" %s -> %d", NameOf(d.instance).c_str(), d.result);
            std::printf("%s\n", calls.empty() ? " no hooks" : "");
            return true;
        }
        if (c == "fill" && w.size() == 3 && Element(w[1], el) && Number(w[2], a)) {
            host_.ElementOf(el).Fill(static_cast<uint8_t>(a));
            return true;
        }
        if (c == "show" && w.size() == 3 && Element(w[1], el)) return WritePgm(host_.ElementOf(el), Expand(w[2]));
        if (c == "picture" && w.size() == 4 && Number(w[2], x) && Number(w[3], y))
            return WritePicture(Expand(w[1]), x, y);
        return Fail(error_.empty() ? "unknown command or bad arguments: " + c : error_);
    }

    std::string NameOf(Handle h) const {
        for (const auto& [name, inst] : instances_)
            if (inst == h) return name;
        return "?";
    }

    bool Get(const std::string& name, const std::string& attribute) {
        ObjectId id;
        if (!Id(name, id)) return Fail("no object " + name);
        HostValue v{};
        v.tag = kTagAny;
        const int16_t status = host_.GetAttributeById(id, attribute, &v);
        std::printf("%s.%s -> %d %s\n", name.c_str(), attribute.c_str(), status, Describe(v).c_str());
        return true;
    }

    bool Expect(const std::vector<std::string>& w) {
        ObjectId id;
        HostValue want;
        if (!Id(w[1], id)) return Fail("no object " + w[1]);
        if (!Value(w, 3, want)) return false;
        HostValue got{};
        got.tag = kTagAny;
        const int16_t status = host_.GetAttributeById(id, w[2], &got);
        const std::string wanted = Describe(want), seen = Describe(got);
        if (status != 0 || wanted != seen)
            return Fail("expected " + w[1] + "." + w[2] + " = " + wanted + ", got " + seen + " (status " +
                        std::to_string(status) + ")");
        return true;
    }

    bool WritePgm(const hostsim::Element& el, const std::string& path) {
        std::ofstream out(path, std::ios::binary);
        if (!out) return Fail("cannot write " + path);
        out << "P5\n" << el.SurfaceWidth() << " " << el.SurfaceRows() << "\n255\n";
        for (int y = 0; y < el.SurfaceRows(); ++y)
            out.write(reinterpret_cast<const char*>(el.Row(y)), el.SurfaceWidth());
        std::printf("show -> %s (%dx%d)\n", path.c_str(), el.SurfaceWidth(), el.SurfaceRows());
        return static_cast<bool>(out);
    }

    // Bottom-up 8-bit BMP with a grey palette; pixel (x, y) = x + 2y, so
    // every row differs and an upside-down copy shows.
    bool WritePicture(const std::string& path, long width, long height) {
        if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return Fail("picture size out of range");
        const uint32_t rowBytes = (static_cast<uint32_t>(width) + 3) & ~3u;
        const uint32_t pixels = rowBytes * static_cast<uint32_t>(height);
        const uint32_t offBits = 14 + 40 + 256 * 4;
        std::vector<uint8_t> file(offBits + pixels, 0);
        auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&file[at], &v, 2); };
        auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
        put16(0, 0x4D42);  // "BM"
        put32(2, static_cast<uint32_t>(file.size()));
        put32(10, offBits);
        put32(14, 40);
        put32(18, static_cast<uint32_t>(width));
        put32(22, static_cast<uint32_t>(height));  // positive: bottom row first
        put16(26, 1);
        put16(28, 8);
        put32(34, pixels);
        put32(46, 256);
        for (int i = 0; i < 256; ++i) put32(54 + 4 * i, static_cast<uint32_t>(i * 0x010101));
        for (long y = 0; y < height; ++y)
            for (long x = 0; x < width; ++x)
                file[offBits + (height - 1 - y) * rowBytes + x] = static_cast<uint8_t>(x + 2 * y);
        std::ofstream out(path, std::ios::binary);
        if (!out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size())))
            return Fail("cannot write " + path);
        return true;
    }

    Host& host_;
    std::string projectDir_;
    std::string error_;
    std::map<std::string, ObjectId> elements_, variables_;
    std::map<std::string, Handle> instances_;
};

// The folder of a project file, as a Windows path with forward slashes.
std::string ProjectDir(const std::string& path) {
    std::string dir = path.substr(0, path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\"));
    if (dir.empty()) dir = ".";
    if (dir[0] == '/') dir = "Z:" + dir;
    for (char& ch : dir)
        if (ch == '\\') ch = '/';
    return dir;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zqplay <path to zqbitmap.dll> [project]\n");
        return 2;
    }
    Host host;
    host.SetErrorHandler([](const std::string& e) { std::fprintf(stderr, "host: %s\n", e.c_str()); });
    const bool loaded = host.LoadDll(argv[1]);
    bool played = true;
    PrintCatalogue(host);  // what the host registered, before any project runs
    if (argc >= 3) {
        std::printf("\n");
        std::ifstream project(argv[2]);
        if (!project) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return 2;
        }
        Player player(host, ProjectDir(argv[2]));
        played = player.Run(project);
    }
    host.Teardown();
    return loaded && played && host.Errors().empty() ? 0 : 1;
}
