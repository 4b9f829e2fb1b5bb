#include "tests/hardening/soak.h"

#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "components/modifiers.h"
#include "framework/host_value.h"
#include "hostsim/host.h"
#include "tests/support/gdi.h"
#include "tests/support/files.h"
#include "tests/hardening/contained_seam.h"
#include "tests/support/components.h"
#include "tests/support/platform_probe.h"

namespace soak {
namespace {

using hostsim::Element;
using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

constexpr uint32_t kShow = 301;  // every modifier's default event
constexpr uint32_t kHide = 302;  // the display's default end event
constexpr size_t kFaultsKept = 20;

// Committed private memory: the heaps, the plug-in's pixels and the host's blocks.
size_t PrivateBytes() {
    size_t total = 0;
    MEMORY_BASIC_INFORMATION m;
    uintptr_t at = 0;
    while (VirtualQuery(reinterpret_cast<void*>(at), &m, sizeof m) == sizeof m) {
        if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) total += m.RegionSize;
        const uintptr_t next = reinterpret_cast<uintptr_t>(m.BaseAddress) + m.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

HostValue Handle32(HBITMAP b) { return Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(b))); }

class Soak {
public:
    Soak() : seam_(probe_, folder_.path()), file_(folder_ / "soak.bmp") {
        host_.SetErrorHandler([this](const std::string& e) { Fault("host: " + e); });
        std::vector<hostsim::Entry> entries;
        for (const Component& c : kComponents) entries.push_back({c.name, c.entry});
        host_.LoadLinked(entries);

        // Every depth the reader and writer know, at odd, even, tiny and wide sizes.
        for (const SIZE size : {SIZE{1, 1}, SIZE{7, 5}, SIZE{64, 48}, SIZE{129, 33}, SIZE{200, 150}})
            for (const int bits : {1, 4, 8, 16, 24, 32})
                pictures_.push_back(gdi::MakeDibSection(bits, size.cx, size.cy, bits + size.cx));
        for (HBITMAP p : pictures_)
            if (!p) throw std::runtime_error("no test picture");
        // 320 x 240: room for the largest picture scaled by 150 %.
        topDown_ = host_.NewElement({{0, 0, 1, 1}, 320, 240, false, {}});
        bottomUp_ = host_.NewElement({{0, 0, 1, 1}, 320, 240, true, {}});

        source_ = NewVariable();
        imported_ = NewVariable();
        captured_ = NewVariable();
        name_ = host_.NewStringVariable(file_);

        save_ = host_.Create("zqSaveBitmap");
        host_.SetField(save_, FieldOffset("zqSaveBitmap", "bitmapVariable"), Host::Reference(source_));
        host_.SetField(save_, FieldOffset("zqSaveBitmap", "fileName"), StringOver(file_));
        StoreAt(save_, FieldOffset("zqSaveBitmap", "useFileName"), BooleanValue{kTagBoolean, 1});
        import_ = host_.Create("zqImportBitmap");
        host_.SetField(import_, FieldOffset("zqImportBitmap", "bitmapVariable"), Host::Reference(imported_));
        host_.SetField(import_, FieldOffset("zqImportBitmap", "fileName"), StringOver(file_));
        StoreAt(import_, FieldOffset("zqImportBitmap", "useFileName"), BooleanValue{kTagBoolean, 1});
        scale_ = host_.Create("zqScaleBitmap");
        host_.SetField(scale_, FieldOffset("zqScaleBitmap", "bitmapVariable"), Host::Reference(imported_));
        display_ = host_.Create("zqDisplayBitmap", topDown_);
        host_.SetField(display_, FieldOffset("zqDisplayBitmap", "bitmapVariable"), Host::Reference(imported_));
        capture_ = host_.Create("zqCaptureBitmap", topDown_);
        host_.SetField(capture_, FieldOffset("zqCaptureBitmap", "bitmapVariable"), Host::Reference(captured_));
        print_ = host_.Create("zqPrintBitmap");
        host_.SetField(print_, FieldOffset("zqPrintBitmap", "bitmapVariable"), Host::Reference(captured_));
        host_.SetField(print_, FieldOffset("zqPrintBitmap", "positionX"), Host::Float(0.75));
        host_.SetField(print_, FieldOffset("zqPrintBitmap", "positionY"), Host::Integer(1));
        delete_ = host_.Create("zqDeleteFile");
        host_.SetField(delete_, FieldOffset("zqDeleteFile", "fileName"), Host::Reference(name_));
        host_.ReleaseLentBlocks();
    }

    ~Soak() {
        for (HBITMAP p : pictures_) DeleteObject(p);
    }

    Run Go(int messages, int sampleEvery) {
        if (messages % kMessagesPerCycle || sampleEvery <= 0 || sampleEvery % kMessagesPerCycle)
            throw std::invalid_argument("message counts must be whole cycles");
        Run run;
        run.samples.push_back(Take());
        for (int cycle = 0; sent_ < messages; ++cycle) {
            const int before = sent_;
            Cycle(cycle);
            if (sent_ - before != kMessagesPerCycle) Fault("a cycle sent " + std::to_string(sent_ - before));
            if (sent_ % sampleEvery == 0) run.samples.push_back(Take());
        }
        host_.Teardown();  // leaks are reported through the error handler
        if (probe_.LiveGdiObjects() != 0 || probe_.OpenFiles() != 0)
            Fault("handles left after teardown: " + std::to_string(probe_.LiveGdiObjects()) + " GDI, " +
                  std::to_string(probe_.OpenFiles()) + " files");
        for (const std::string& e : probe_.Errors()) Fault("platform: " + e);
        if (faultCount_ > kFaultsKept) faults_.push_back("... " + std::to_string(faultCount_ - kFaultsKept) + " more");
        run.faults = faults_;
        return run;
    }

private:
    ObjectId NewVariable() { return host_.IdOf(host_.Create("zqBitmapVariable")); }

    void Fault(const std::string& what) {
        if (++faultCount_ <= kFaultsKept) faults_.push_back("message " + std::to_string(sent_) + ": " + what);
    }
    void Expect(bool ok, const char* what) {
        if (!ok) Fault(what);
    }

    // Each of these is one message to the plug-in.
    int16_t Send(Handle modifier, uint32_t code = kShow) {
        ++sent_;
        return host_.Deliver(modifier, code, 0);
    }
    HostStatus Put(ObjectId variable, HostValue value) {
        ++sent_;
        return host_.SetAttributeById(variable, "value", &value);
    }
    // An integer attribute; handles are any 32 bits, so no value can stand for "none".
    bool Read(ObjectId variable, const char* attribute, int32_t* out) {
        ++sent_;
        HostValue v = Host::Integer(0);
        *out = 0;
        if (host_.GetAttributeById(variable, attribute, &v) != 0 || v.tag != kTagInteger) return false;
        *out = IntegerPayload(&v);
        return true;
    }

    // Percentages and pixel sizes, integer, float and point.
    void NextAmount(int cycle) {
        static const struct {
            HostValue amount;
            int32_t inPixels;
        } kAmounts[] = {{Host::Integer(50), 0}, {Host::Float(150.0), 0}, {Host::Point(40, 30), 1}, {Host::Float(75.5), 0}};
        const auto& a = kAmounts[cycle % std::size(kAmounts)];
        host_.SetField(scale_, FieldOffset("zqScaleBitmap", "amount"), a.amount);
        StoreAt(scale_, FieldOffset("zqScaleBitmap", "inPixels"), IntegerValue{kTagInteger, a.inPixels});
    }
    void NextPrintSettings(int cycle) {
        // Automatic, portrait and landscape; centred, at the position and in the corner.
        StoreAt(print_, FieldOffset("zqPrintBitmap", "fitToPage"), BooleanValue{kTagBoolean, static_cast<int16_t>(cycle / 2 % 2)});
        StoreAt(print_, FieldOffset("zqPrintBitmap", "orientation"), IntegerValue{kTagInteger, cycle % 3});
        StoreAt(print_, FieldOffset("zqPrintBitmap", "placement"), IntegerValue{kTagInteger, cycle / 3 % 3});
    }

    // Twenty messages. Between cycles the variables are empty, so that every
    // sample finds the same state whatever picture and amount came last.
    void Cycle(int cycle) {
        const HBITMAP picture = pictures_[cycle % pictures_.size()];
        const BITMAP shape = gdi::RecordOf(picture);
        Element& el = host_.ElementOf(cycle % 2 ? bottomUp_ : topDown_);
        el.ClearRefreshes();
        host_.AttachTo(display_, el.id());
        host_.AttachTo(capture_, el.id());
        NextAmount(cycle);
        NextPrintSettings(cycle);
        host_.SetVariableValue(name_, StringOver(file_));

        Expect(Put(source_, Handle32(picture)) == 0, "the source variable refused a picture");
        Expect(Send(save_) == 0 && FileExists(file_), "save wrote no file");
        Expect(Send(import_) == 0, "import failed");
        int32_t n;
        Expect(Read(imported_, "width", &n) && n == shape.bmWidth, "the imported picture has another width");
        Expect(Read(imported_, "height", &n) && n == shape.bmHeight, "the imported picture has another height");
        Expect(Send(scale_) == 0, "scale failed");

        Expect(Send(display_) == 0 && el.Hooks().size() == 1, "display showed nothing");
        ++sent_;
        const std::vector<hostsim::DrawCall> drawn = host_.Draw(el.id());
        Expect(drawn.size() == 1 && drawn[0].result == 1, "the display hook did not draw");
        Expect(Send(display_, kHide) == 0 && el.Hooks().empty(), "display did not hide");

        Expect(Send(capture_) == 0, "capture failed");
        Expect(Read(captured_, "bitmap", &n) && n != 0, "no packed picture");
        if (n) sys().GlobalFree(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(static_cast<uint32_t>(n))));  // the reader's
        const int pages = seam_.Pages();
        Expect(Send(print_) == 0 && seam_.Pages() == pages + 1, "print made no page");

        ++sent_;
        const Handle copy = host_.CopyConstruct(host_.HandleOf(imported_));
        ++sent_;
        Expect(host_.Assign(copy, host_.HandleOf(captured_)) == 0, "a variable refused an assignment");
        Expect(Read(host_.IdOf(copy), "value", &n) && n != 0, "the copy holds no picture");
        ++sent_;
        host_.Destroy(copy);

        Expect(Send(delete_) == 0 && !FileExists(file_), "delete left the file");
        Expect(!Host::Text(host_.VariableValue(name_)).empty(), "delete wrote no name back");
        Expect(Put(captured_, Host::Integer(0)) == 0, "the captured variable did not empty");
        Expect(Put(source_, Host::Integer(0)) == 0, "the source variable did not empty");
        Expect(Put(imported_, Host::Integer(0)) == 0, "the imported variable did not empty");

        // The simulator keeps lent and freed blocks for its own checks: not the plug-in's.
        host_.ReleaseLentBlocks();
        host_.ForgetFreedBlocks();
    }

    Sample Take() const {
        return {sent_,
                probe_.LiveDcs() + probe_.LiveBitmaps(),
                probe_.LiveScreenDcs(),
                host_.LiveBlocks(),
                probe_.LiveGlobals(),
                probe_.OpenFiles(),
                PrivateBytes()};
    }

    TempFolder folder_;
    PlatformProbe probe_;  // outlives the host, which releases through it
    ContainedSeam seam_;
    Host host_;
    std::string file_;
    std::vector<HBITMAP> pictures_;
    ObjectId topDown_ = 0, bottomUp_ = 0;
    ObjectId source_ = 0, imported_ = 0, captured_ = 0, name_ = 0;
    Handle save_ = nullptr, import_ = nullptr, scale_ = nullptr, display_ = nullptr, capture_ = nullptr,
           print_ = nullptr, delete_ = nullptr;
    int sent_ = 0;
    std::vector<std::string> faults_;
    size_t faultCount_ = 0;
};

}  // namespace

Run RunSoak(int messages, int sampleEvery) { return Soak().Go(messages, sampleEvery); }

std::vector<std::string> Growth(const std::vector<Sample>& samples, size_t slackBytes) {
    if (samples.size() < 3) return {"fewer than three samples: nothing to judge after warm-up"};
    std::vector<std::string> grew;
    const Sample& base = samples[1];
    for (size_t i = 2; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        auto check = [&](const char* what, long long now, long long was, long long allowed) {
            if (now > was + allowed)
                grew.push_back(std::string(what) + " at " + std::to_string(s.messages) + ": " + std::to_string(now) +
                               ", after warm-up " + std::to_string(was));
        };
        check("GDI objects", s.gdiObjects, base.gdiObjects, 0);
        check("USER objects", s.userObjects, base.userObjects, 0);
        check("text blocks", s.textBlocks, base.textBlocks, 0);
        check("global blocks", s.globalBlocks, base.globalBlocks, 0);
        check("open files", s.openFiles, base.openFiles, 0);
        check("private bytes", static_cast<long long>(s.privateBytes), static_cast<long long>(base.privateBytes),
              static_cast<long long>(slackBytes));
    }
    return grew;
}

void PrintSamples(std::FILE* out, const std::vector<Sample>& samples) {
    std::fprintf(out, "%9s %5s %5s %6s %7s %6s %14s\n", "messages", "gdi", "user", "text", "global", "files",
                 "private bytes");
    for (const Sample& s : samples)
        std::fprintf(out, "%9d %5d %5d %6d %7d %6d %14lu\n", s.messages, s.gdiObjects, s.userObjects, s.textBlocks,
                     s.globalBlocks, s.openFiles, static_cast<unsigned long>(s.privateBytes));
    std::fflush(out);
}

}  // namespace soak
