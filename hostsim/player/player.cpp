#include "hostsim/player/player.h"

#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <vector>

#include "hostsim/player/file_watch.h"
#include "hostsim/player/pictures.h"

namespace zqplay {
namespace {

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

constexpr int kPrintoutSeconds = 180;  // cups-pdf under emulation takes a while

std::string DescribeValue(const HostValue& v) {
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
        case kTagEvent: {
            uint32_t code, qualifier;
            std::memcpy(&code, v.payload, 4);
            std::memcpy(&qualifier, v.payload + 4, 4);
            std::snprintf(buf, sizeof buf, "event %lu %lu", static_cast<unsigned long>(code),
                          static_cast<unsigned long>(qualifier));
            return buf;
        }
        default: std::snprintf(buf, sizeof buf, "tag %d", v.tag); return buf;
    }
}

std::string Count(int n, const std::string& thing) { return std::to_string(n) + " " + thing + (n == 1 ? "" : "s"); }

std::string Size(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

class Player {
public:
    Player(Host& host, const RunOptions& options, Log& log) : host_(host), options_(options), log_(log) {}

    Summary Run(const Project& project) {
        host_.SetErrorHandler([this](const std::string& e) { hostErrors_.push_back(e); });
        if (const std::string root = SystemDriveRoot(); !root.empty()) watch_.Watch(root, root.substr(0, 2));
        pdfFolder_ = PdfFolder();
        if (!pdfFolder_.empty()) {
            FileWatch pdfs;
            pdfs.Watch(pdfFolder_, "");
            pdfKnown_ = pdfs.Take();
        }
        for (const Command& c : project.commands) {
            line_ = c.line;
            error_.clear();
            const bool done = Execute(c);
            FlushHostErrors(std::to_string(c.line));
            if (!done) {
                log_.Error(options_.projectName + ":" + std::to_string(c.line) + ": error: " + error_);
                summary_.stopped = true;
                break;
            }
        }
        host_.Teardown();  // leaks are host errors too
        FlushHostErrors("end");
        ListWrittenFiles();
        summary_.filesWritten = static_cast<int>(written_.size());
        std::string line = "summary: " + Count(summary_.steps, "step") + " (" + std::to_string(summary_.skipped) +
                           " skipped), " + Count(summary_.passed, "expectation") + " passed, " +
                           std::to_string(summary_.failed) + " failed, " + Count(summary_.filesWritten, "file") +
                           " written";
        if (summary_.hostErrors) line += ", " + Count(summary_.hostErrors, "host error");
        log_.Out(line);
        if (summary_.stopped) log_.Out("stopped at line " + std::to_string(line_) + ": the rest did not run");
        return summary_;
    }

private:
    bool Execute(const Command& c) {
        switch (c.verb) {
            case Verb::Element: return NewElement(c);
            case Verb::String:
            case Verb::Integer:
            case Verb::Float:
            case Verb::Point: return NewVariable(c);
            case Verb::Create: return Create(c);
            case Verb::Set: return Set(c);
            case Verb::Field:
            case Verb::Compact: return RawField(c);
            case Verb::Folder: return Folder(c);
            case Verb::Describe: {
                std::string text = Describe(*c.component);
                text.pop_back();  // the log ends each line itself
                return log_.Out(text), true;
            }
            case Verb::Echo:
                if (!c.printer.empty() && !PrinterReady(c)) return true;
                return log_.Out(c.text), true;
            case Verb::Expect:
            case Verb::ExpectPrintout: return Expectation(c);
            default: return Step(c);
        }
    }

    // ---- declarations: they print nothing ----

    bool NewElement(const Command& c) {
        hostsim::ElementSetup setup;
        setup.rect = {static_cast<int16_t>(c.left), static_cast<int16_t>(c.top), static_cast<int16_t>(c.right),
                     static_cast<int16_t>(c.bottom)};
        setup.surfaceWidth = c.width;
        setup.surfaceRows = c.height;
        setup.bottomUp = c.bottomUp;
        if (c.colour) setup.colours.assign(ColourPalette().begin(), ColourPalette().end());
        const ObjectId id = host_.NewElement(setup);
        if (!id) return Fail("no surface of " + Size(c.width, c.height) + " could be made");
        elements_[c.target] = id;
        Track(c.target);
        return true;
    }

    bool NewVariable(const Command& c) {
        ObjectId id = 0;
        switch (c.verb) {
            case Verb::String: id = host_.NewStringVariable(Expand(c.value.text)); break;
            case Verb::Integer: id = host_.NewIntegerVariable(c.value.a); break;
            case Verb::Float: id = host_.NewFloatVariable(c.value.real); break;
            default: id = host_.NewPointVariable(static_cast<int16_t>(c.value.a), static_cast<int16_t>(c.value.b));
        }
        variables_[c.target] = id;
        Track(c.target);
        return true;
    }

    bool Create(const Command& c) {
        const ObjectId element = c.element.empty() ? 0 : elements_.at(c.element);
        const Handle h = host_.Create(c.component->name, element);
        if (!h) return Fail("cannot create a " + std::string(c.component->name) + ": the DLL did not register it");
        instances_[c.target] = h;
        if (!c.component->type) Track(c.target);
        return true;
    }

    bool Set(const Command& c) {
        HostValue v;
        if (!ToHostValue(c.value, v)) return false;
        return StoreField(instances_.at(c.target), c.field->offset, c.field->kind == FieldKind::Value, v);
    }

    bool RawField(const Command& c) {
        HostValue v;
        if (!ToHostValue(c.value, v)) return false;
        return StoreField(instances_.at(c.target), static_cast<size_t>(c.number), c.verb == Verb::Field, v);
    }

    // A value field gets an independent copy, as the host makes when an
    // author sets it; events, integers and booleans are their bytes.
    bool StoreField(Handle instance, size_t offset, bool valueField, const HostValue& v) {
        if (valueField) {
            if (offset + sizeof(HostValue) > host_.BlockSize(instance)) return Fail("the field lies past the block");
            host_.SetField(instance, offset, v);
            return true;
        }
        const size_t bytes = v.tag == kTagEvent ? sizeof(EventValue) : v.tag == kTagInteger ? sizeof(IntegerValue)
                             : v.tag == kTagBoolean ? sizeof(BooleanValue) : 0;
        if (!bytes || offset + bytes > host_.BlockSize(instance)) return Fail("the field lies past the block");
        std::memcpy(instance + offset, &v, bytes);
        return true;
    }

    bool Folder(const Command& c) {
        const std::string path = Expand(c.file);
        if (!MakeFolders(path)) return Fail("cannot make the folder " + c.file);
        watch_.Watch(path, ShownName(c.file));
        return true;
    }

    // ---- steps: one line each ----

    bool Step(const Command& c) {
        ++summary_.steps;
        std::string head = "[" + std::to_string(summary_.steps) + "] line " + std::to_string(c.line) + "  ";
        if (!c.printer.empty() && !PrinterReady(c)) {
            ++summary_.skipped;
            log_.Out(head + "skipped, " + printerReason_ + ": " + c.text);
            return true;
        }
        const Listing before = watch_.Take();
        ownFile_.clear();
        std::string result;
        if (!Act(c, result)) {
            --summary_.steps;  // counted are the steps that were done or skipped
            return false;
        }
        std::vector<std::string> changes = ChangedStates();
        lastWritten_.clear();
        for (const FileChange& f : Compare(before, watch_.Take())) {
            if (f.name == ownFile_) continue;
            changes.push_back((f.removed ? "deleted " : "wrote ") + f.name);
            if (!f.removed) {
                NoteWritten(f.name, f.path);
                lastWritten_.push_back(f);
            }
        }
        std::string line = head + c.text + (result.empty() ? "" : ": " + result);
        for (size_t i = 0; i < changes.size(); ++i) line += (i ? "; " : " | ") + changes[i];
        log_.Out(line);
        return true;
    }

    bool Act(const Command& c, std::string& result) {
        switch (c.verb) {
            case Verb::Activate: result = std::to_string(host_.Activate(instances_.at(c.target))); return true;
            case Verb::Deactivate: result = std::to_string(host_.Deactivate(instances_.at(c.target))); return true;
            case Verb::Destroy:
                host_.Destroy(instances_.at(c.target));
                instances_.erase(c.target);
                state_.erase(c.target);
                return true;
            case Verb::Send:
            case Verb::Deliver: return Message(c, result);
            case Verb::Draw: {
                const auto calls = host_.Draw(elements_.at(c.target));
                for (const auto& d : calls) result += (result.empty() ? "" : ", ") + NameOf(d.instance) + " " + std::to_string(d.result);
                if (calls.empty()) result = "no hooks";
                return true;
            }
            case Verb::Fill: host_.ElementOf(elements_.at(c.target)).Fill(static_cast<uint8_t>(c.number)); return true;
            case Verb::Show: return Show(c, result);
            case Verb::Get: {
                HostValue v{};
                v.tag = kTagAny;
                const int16_t status = host_.GetAttributeById(IdOf(c.target), c.attribute, &v);
                result = status == 0 ? DescribeValue(v) : "no answer (status " + std::to_string(status) + ")";
                return true;
            }
            case Verb::Save: {
                const std::vector<uint8_t> bytes = host_.Save(instances_.at(c.target));
                if (!WriteOwnFile(c.file, bytes)) return false;
                result = std::to_string(bytes.size()) + " bytes";
                return true;
            }
            case Verb::Load: {
                std::ifstream in(Expand(c.file), std::ios::binary);
                if (!in) return Fail("cannot read " + c.file);
                const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
                result = std::to_string(host_.Load(instances_.at(c.target), bytes));
                return true;
            }
            case Verb::Picture: {
                const std::vector<uint8_t> bytes = TestPictureFile(c.width, c.height, c.style);
                if (!WriteOwnFile(c.file, bytes)) return false;
                result = Size(c.width, c.height) + ", " + std::to_string(bytes.size()) + " bytes";
                return true;
            }
            case Verb::Remember: {
                if (lastWritten_.size() != 1)
                    return Fail("the step before wrote " + std::to_string(lastWritten_.size()) +
                                " files; expected one file name to remember");
                host_.SetVariableValue(variables_.at(c.target), host_.String(lastWritten_[0].path));
                return true;
            }
            default: return Fail("not a step");
        }
    }

    bool Message(const Command& c, std::string& result) {
        HostValue carried;
        if (c.hasValue && !ToHostValue(c.value, carried)) return false;
        const HostValue* with = c.hasValue ? &carried : nullptr;
        if (c.verb == Verb::Deliver) {
            result = std::to_string(host_.Deliver(instances_.at(c.target), c.code, c.qualifier, with));
            return true;
        }
        for (const auto& d : host_.Send(c.code, c.qualifier, with))
            result += (result.empty() ? "" : ", ") + NameOf(d.instance) + " " + std::to_string(d.result);
        if (result.empty()) result = "nobody answered";
        return true;
    }

    bool Show(const Command& c, std::string& result) {
        Picture picture;
        if (auto e = elements_.find(c.target); e != elements_.end()) {
            picture = SurfacePicture(host_.ElementOf(e->second), c.wholeSurface);
            if (picture.rgb.empty()) return Fail("element " + c.target + " shows nothing: its rectangle is empty or off its surface");
        } else {
            picture = BitmapPicture(HeldBitmap(IdOf(c.target)));
            if (picture.rgb.empty()) return Fail(c.target + " holds no bitmap to show");
        }
        const std::vector<uint8_t> bytes = EncodeBmp(picture);
        if (!WriteOwnFile(c.file, bytes)) return false;
        if (!options_.recordDir.empty()) {
            const size_t slash = c.file.find_last_of("/\\");
            const std::string copy = options_.recordDir + "\\" + (slash == std::string::npos ? c.file : c.file.substr(slash + 1));
            if (!WriteFile(copy, bytes)) return Fail("cannot write the record's copy " + copy);
        }
        result = Size(picture.width, picture.height) + ", " + std::to_string(bytes.size()) + " bytes";
        return true;
    }

    bool Expectation(const Command& c) {
        const std::string head = "line " + std::to_string(c.line) + "  " + c.text;
        if (!c.printer.empty() && !PrinterReady(c)) {
            log_.Out("[skipped] " + head + ": " + printerReason_);
            return true;
        }
        std::string problem, seen;
        if (c.verb == Verb::ExpectPrintout) {
            Printout printout;
            if (pdfFolder_.empty()) {
                problem = "ZQ_PDF_DIR names no PDF printer's folder";
            } else if (!WaitForPrintout(pdfFolder_, pdfKnown_, kPrintoutSeconds, printout)) {
                problem = "no PDF came within " + std::to_string(kPrintoutSeconds) + " s";
            } else {
                // Its name carries the printer's job number: not in the log.
                const std::string pages = Count(printout.pages, "page");
                NoteWritten("ZQ_PDF_DIR: printout " + std::to_string(++printouts_), "", pages);
                seen = pages + " in ZQ_PDF_DIR";
                if (printout.pages != c.number) problem = "got " + seen;
            }
        } else {
            HostValue want, got{};
            if (!ToHostValue(c.value, want)) return false;
            got.tag = kTagAny;
            const int16_t status = host_.GetAttributeById(IdOf(c.target), c.attribute, &got);
            if (status != 0) problem = "no answer (status " + std::to_string(status) + ")";
            else if (DescribeValue(got) != DescribeValue(want)) problem = "got " + DescribeValue(got);
        }
        if (problem.empty()) {
            ++summary_.passed;
            log_.Out("[ok] " + head + (seen.empty() ? "" : ": " + seen));
        } else {
            ++summary_.failed;
            log_.Out("[FAILED] " + head + ": " + problem);
        }
        return true;
    }

    // ---- the printer ----

    // Asked once: the same answer for the whole run.
    bool PrinterReady(const Command& c) {
        if (!defaultPrinter_) {
            char name[256] = "";
            DWORD size = sizeof name;
            defaultPrinter_ = GetDefaultPrinterA(name, &size) ? std::string(name) : std::string();
        }
        if (defaultPrinter_->empty()) {
            printerReason_ = "no default printer is set up";
            return false;
        }
        if (c.printer != "*" && _stricmp(defaultPrinter_->c_str(), c.printer.c_str()) != 0) {
            printerReason_ = "the default printer is " + *defaultPrinter_ + ", not " + c.printer;
            return false;
        }
        return true;
    }

    // ---- what changed ----

    void Track(const std::string& name) {
        tracked_.push_back(name);
        state_[name] = StateOf(name);
    }

    std::vector<std::string> ChangedStates() {
        std::vector<std::string> changes;
        for (const std::string& name : tracked_) {
            auto it = state_.find(name);
            if (it == state_.end()) continue;  // destroyed
            std::string now = StateOf(name);
            if (now != it->second) changes.push_back(name + " = " + now);
            it->second = std::move(now);
        }
        return changes;
    }

    std::string StateOf(const std::string& name) {
        if (auto e = elements_.find(name); e != elements_.end()) {
            const hostsim::Element& el = host_.ElementOf(e->second);
            return Size(el.Width(), el.Height());
        }
        if (auto v = variables_.find(name); v != variables_.end()) return DescribeValue(host_.VariableValue(v->second));
        const HBITMAP held = HeldBitmap(IdOf(name));
        int width, height, bits;
        if (!held) return "empty";
        if (!BitmapFormat(held, width, height, bits)) return "not a bitmap";
        char checksum[16];
        std::snprintf(checksum, sizeof checksum, "%08lx", static_cast<unsigned long>(PixelChecksum(BitmapPicture(held))));
        return Size(width, height) + ", " + std::to_string(bits) + " bits, pixels " + checksum;
    }

    // The bitmap a bitmap variable lends through its "value", or null.
    HBITMAP HeldBitmap(ObjectId variable) {
        HostValue v{};
        v.tag = kTagAny;
        if (host_.GetAttributeById(variable, "value", &v) != 0 || v.tag != kTagInteger) return nullptr;
        uint32_t handle;
        std::memcpy(&handle, v.payload, 4);
        return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(handle));
    }

    // ---- files ----

    bool WriteOwnFile(const std::string& file, const std::vector<uint8_t>& bytes) {
        const std::string path = Expand(file);
        if (!WriteFile(path, bytes)) return Fail("cannot write " + file);
        ownFile_ = ShownName(file);
        NoteWritten(ownFile_, path);
        return true;
    }

    void NoteWritten(const std::string& name, const std::string& path, const std::string& note = "") {
        for (const auto& w : written_)
            if (w.name == name) return;
        written_.push_back({name, path, note});
    }

    void ListWrittenFiles() {
        log_.Out("files written:" + std::string(written_.empty() ? " none" : ""));
        for (const auto& w : written_) {
            const long long bytes = w.note.empty() ? FileBytes(w.path) : 0;
            log_.Out("  " + w.name + "  " +
                     (!w.note.empty() ? w.note : bytes < 0 ? "(deleted since)" : std::to_string(bytes) + " bytes"));
        }
    }

    // ---- names and values ----

    ObjectId IdOf(const std::string& name) const {
        if (auto v = variables_.find(name); v != variables_.end()) return v->second;
        if (auto i = instances_.find(name); i != instances_.end()) return host_.IdOf(i->second);
        if (auto e = elements_.find(name); e != elements_.end()) return e->second;
        return 0;
    }

    std::string NameOf(Handle h) const {
        for (const auto& [name, instance] : instances_)
            if (instance == h) return name;
        return "?";
    }

    bool ToHostValue(const ProjectValue& s, HostValue& v) {
        using K = ProjectValue::Kind;
        switch (s.kind) {
            case K::Empty: v = Host::Empty(); return true;
            case K::Message: v = Host::MessageData(); return true;
            case K::Integer: v = Host::Integer(s.a); return true;
            case K::Boolean: v = Host::Boolean(s.a != 0); return true;
            case K::Float: v = Host::Float(s.real); return true;
            case K::Point: v = Host::Point(static_cast<int16_t>(s.a), static_cast<int16_t>(s.b)); return true;
            case K::Event: v = Host::Event(static_cast<uint32_t>(s.a), static_cast<uint32_t>(s.b)); return true;
            case K::String: v = host_.String(Expand(s.text)); return true;
            case K::Reference:
            case K::LongReference: {
                const ObjectId id = IdOf(s.text);
                if (!id) return Fail("'" + s.text + "' no longer exists");
                v = s.kind == K::Reference ? Host::Reference(id) : Host::LongReference(id);
                return true;
            }
        }
        return Fail("unknown value");
    }

    std::string Expand(std::string text) const {
        for (size_t at; (at = text.find("$PROJECT")) != std::string::npos;) text.replace(at, 8, options_.projectDir);
        return text;
    }

    void FlushHostErrors(const std::string& where) {
        for (const std::string& e : hostErrors_)
            log_.Error(options_.projectName + ":" + where + ": host: " + e);
        summary_.hostErrors += static_cast<int>(hostErrors_.size());
        hostErrors_.clear();
    }

    bool Fail(const std::string& what) {
        error_ = what;
        return false;
    }

    struct Written {
        std::string name, path;
        std::string note;  // shown instead of the size
    };

    Host& host_;
    const RunOptions& options_;
    Log& log_;
    Summary summary_;
    int line_ = 0;
    std::string error_;
    std::vector<std::string> hostErrors_;
    std::map<std::string, ObjectId> elements_, variables_;
    std::map<std::string, Handle> instances_;
    std::vector<std::string> tracked_;            // elements and variables, in declaration order
    std::map<std::string, std::string> state_;    // what each showed after the last step
    FileWatch watch_;
    std::string ownFile_;                         // the file this step's own command wrote
    std::vector<FileChange> lastWritten_;         // by the previous step
    std::vector<Written> written_;
    std::string pdfFolder_;
    Listing pdfKnown_;
    int printouts_ = 0;
    std::optional<std::string> defaultPrinter_;
    std::string printerReason_;
};

}  // namespace

void Log::Out(const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
    if (record_) std::fprintf(record_, "%s\n", line.c_str());
}

void Log::Error(const std::string& line) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (record_) std::fprintf(record_, "%s\n", line.c_str());
}

Summary Play(Host& host, const Project& project, const RunOptions& options, Log& log) {
    return Player(host, options, log).Run(project);
}

}  // namespace zqplay
