// The virtual X server's screen as the benchmark sees it: grabbed whole
// through shared memory (a grab of 1024 x 768 takes well under a
// millisecond, so it can be polled every 2 ms), and a pointer and keyboard
// driven through the XTest extension.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

class VirtualScreen {
public:
    // Connects to the display ("" = $DISPLAY). Ok() tells whether it worked.
    explicit VirtualScreen(const std::string& display);
    ~VirtualScreen();
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    bool Ok() const { return m_ok; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // Takes a new picture of the whole screen.
    bool Grab();
    // 0xRRGGBB of a pixel of the last picture.
    uint32_t Pixel(int x, int y) const;
    // The pixels of a rectangle of the last picture, row by row.
    std::vector<uint32_t> Region(int x, int y, int width, int height) const;

    // Top-left corner of the first row (from the top) that holds at least
    // minRun pixels of the colour; false when there is none.
    bool FindRow(uint32_t colour, int minRun, int* x, int* y) const;
    // Pixels of the rectangle darker than the threshold (sum of R, G, B).
    int DarkPixels(int x, int y, int width, int height, int threshold) const;

    void MoveTo(int x, int y);
    void Click(int x, int y);
    // Types printable ASCII text, one key every delayMs.
    void Type(const std::string& text, int delayMs);
    // A key by its X keysym name ("Return", "a"), with Control held when
    // asked.
    void Key(const char* keysymName, bool control = false);

    // Mapped windows directly below the root: GTK's top-level windows when
    // no window manager runs.
    int MappedTopLevels() const;

private:
    void Flush();

    _XDisplay* m_display = nullptr;
    bool m_ok = false;
    int m_width = 0;
    int m_height = 0;
    struct Shared;
    Shared* m_shared = nullptr;
};
