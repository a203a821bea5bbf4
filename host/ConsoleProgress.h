// The progress bar glazehost draws on the console while a plug-in works. Portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vg::host {

// Draws "\r<prefix>[####....]  42%" on a stream, redrawn only when the whole percentage
// changes; End finishes the line. Writes nothing while disabled.
class CConsoleProgress {
public:
    explicit CConsoleProgress(std::FILE* out = stderr) : m_out(out) {}

    void Enable(bool on) { m_enabled = on; }
    bool Enabled() const { return m_enabled; }
    // Text in front of the bar, such as the file being filtered.
    void SetPrefix(std::string prefix) { m_prefix = std::move(prefix); }
    void Update(int32_t done, int32_t total);
    // Ends the bar's line if one was drawn (or erases it, when the caller writes a line of
    // its own in its place), and starts afresh.
    void End();
    void SetEndErases(bool erase) { m_endErases = erase; }
    // Erases the bar's line if one was drawn (for a line that replaces it), and starts afresh.
    void Clear();
    // The bar for a percentage: 40 characters, '#' for the part done.
    static std::string Bar(int percent);

private:
    std::FILE* m_out;
    bool m_enabled = false;
    bool m_endErases = false;
    bool m_drawn = false;
    int m_lastPercent = -1;
    std::string m_prefix;
};

}  // namespace vg::host
