// A console progress bar.
#include "host/ConsoleProgress.h"

#include <algorithm>

namespace vg::host {

std::string CConsoleProgress::Bar(int percent) {
    constexpr int kWidth = 40;
    const int filled = std::clamp(percent, 0, 100) * kWidth / 100;
    return "[" + std::string(size_t(filled), '#') + std::string(size_t(kWidth - filled), '.') + "]";
}

void CConsoleProgress::Update(int32_t done, int32_t total) {
    if (!m_enabled || total <= 0)
        return;
    const int pct = int(std::clamp<int64_t>(int64_t(done) * 100 / total, 0, 100));
    if (pct == m_lastPercent)
        return;
    m_lastPercent = pct;
    std::fprintf(m_out, "\r%s%s %3d%%", m_prefix.c_str(), Bar(pct).c_str(), pct);
    std::fflush(m_out);
    m_drawn = true;
}

void CConsoleProgress::End() {
    if (m_endErases) {
        Clear();
        return;
    }
    if (m_drawn) {
        std::fprintf(m_out, "\n");
        std::fflush(m_out);
    }
    m_drawn = false;
    m_lastPercent = -1;
}

void CConsoleProgress::Clear() {
    if (m_drawn) {
        const size_t width = m_prefix.size() + Bar(0).size() + 5;
        std::fprintf(m_out, "\r%s\r", std::string(width, ' ').c_str());
        std::fflush(m_out);
    }
    m_drawn = false;
    m_lastPercent = -1;
}

}  // namespace vg::host
