#pragma once
// Pictures of any depth in the colours of an 8-bit surface: for every pixel
// the index of the surface colour nearest to it (squared RGB distance, ties
// to the lowest index), exactly. No platform calls: the drawing code reads
// the surface's colours and the picture's layout and passes them in.
#include <cstddef>
#include <cstdint>

inline constexpr int kMaxSurfaceColours = 256;

// Colours as 0x00RRGGBB.
inline constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }

// The nearest-colour search for one palette, with its work kept. The RGB
// cube is cut into cells of 8 x 8 x 8; a cell, when first met, keeps only the
// palette colours that can be nearest anywhere in it (min/max distance
// pruning, from the list of its 32 x 32 x 32 block). A cell left with one
// colour shares the table of that colour, which answers for all of its
// colours at once; in the others each colour is searched among the cell's
// few the first time it is asked, and answered from the cell's table
// afterwards. Every later answer is the same two loads, which is what keeps
// a draw fast: branches that went one way or the other by pixel cost more
// than the memory.
class ColourMatcher {
public:
    ColourMatcher();
    ~ColourMatcher();
    ColourMatcher(const ColourMatcher&) = delete;
    ColourMatcher& operator=(const ColourMatcher&) = delete;

    // Switches to `count` colours (0 to 256; more are ignored). The kept work
    // stays when they are the colours in use already.
    void Use(const uint32_t* colours, int count);
    int Count() const { return count_; }
    // Colour `index` of the palette; black past its end.
    uint32_t Colour(uint8_t index) const { return colours_[index]; }

    // Needs a palette of at least one colour.
    uint8_t Nearest(uint32_t r, uint32_t g, uint32_t b) {
        return Lookup((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3), (r & 7) << 6 | (g & 7) << 3 | (b & 7));
    }
    // The same by a colour's cell (its channels' top five bits) and its place
    // in the cell (their low three), where those are worked out many at once.
    uint8_t Lookup(uint32_t cell, uint32_t at) {
        if (const Cell* c = cells_[cell]) return c->index[at];
        return Miss(cell, at);
    }

    // Work kept so far, for tests and benchmarks.
    int CellsBuilt() const { return built_; }
    int CellsWithTables() const { return used_; }

private:
    // A cell with more than one colour left: what is known of its 512 colours.
    struct Cell {
        uint8_t index[512];  // the answer for each colour in the cell
    };
    struct Block {  // 32 x 32 x 32
        bool built;
        uint16_t candidates;
        uint8_t candidate[kMaxSurfaceColours];
    };
    static constexpr int kCells = 32 * 32 * 32;
    static constexpr int kBlocks = 8 * 8 * 8;
    static constexpr int kCellsPerChunk = 64;

    static Cell* OneColourCells();  // the same for every palette: cell i answers i everywhere
    uint8_t Miss(uint32_t cell, uint32_t at);
    void Build(uint32_t cell);
    const Block& BlockOf(uint32_t cell);
    uint8_t SearchAll(uint32_t r, uint32_t g, uint32_t b) const;

    uint32_t colours_[kMaxSurfaceColours];  // black past count_
    int count_ = 0;
    Cell* cells_[kCells];  // null before the cell is met
    Block blocks_[kBlocks];
    Cell* chunks_[kCells / kCellsPerChunk];  // kept across palettes; cells handed out in order
    int used_ = 0;
    int built_ = 0;
};

// The one matcher of the process: the work for the last palette seen.
ColourMatcher& ProcessColourMatcher();

// How a row of a picture stores its pixels.
struct PixelLayout {
    int bitsPerPixel = 0;              // 1, 4, 16, 24 or 32
    const uint32_t* table = nullptr;   // 1 and 4 bits: the picture's colours
    int tableSize = 0;                 // indices at or past it show black
    uint32_t masks[3] = {0, 0, 0};     // 16 and 32 bits: red, green, blue; all zero: 5-5-5 / 8-8-8
    bool straightAlpha = false;        // 32 bits without masks: the fourth byte is alpha
};


// Converts pixels [first, first + count) of `row` to surface indices in
// `out` (count bytes). With straight alpha each pixel is blended over the
// colour `out` already shows, alpha 0 leaving the byte as it is. A layout
// of another depth writes nothing and returns false.
bool ConvertRow(ColourMatcher& matcher, const PixelLayout& layout, const uint8_t* row, int first, int count,
                uint8_t* out);

// One channel of a bit-field pixel in 8 bits, as the platform reads it: the
// field's top bits aligned to the byte's top, then repeated once below.
struct FieldReader {
    int shift = 0;  // of the mask's lowest bit
    int length = 0;  // of the mask's run of bits, from its lowest set bit to its highest
    explicit FieldReader(uint32_t mask);
    uint32_t operator()(uint32_t pixel) const;
};
