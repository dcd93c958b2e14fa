// What a cache reader finds wrong with, or remarks about, what it read: each finding with how
// much it weighs. Damage means part of the entry or the cache could not be read, or what it gives
// may be wrong; a note says only how something was read, with nothing lost.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace snapsift {

enum class Severity { Damaged, Note };

struct Finding {
    Severity severity = Severity::Damaged;
    std::string text;
};

class Findings {
public:
    // An empty text adds nothing.
    void Add(Severity severity, std::string_view text) {
        if (!text.empty()) all_.push_back({severity, std::string(text)});
    }
    void Add(const Findings& more) { all_.insert(all_.end(), more.all_.begin(), more.all_.end()); }

    bool Empty() const { return all_.empty(); }
    bool Damaged() const { return Has(Severity::Damaged); }
    bool Has(Severity severity) const {
        return std::any_of(all_.begin(), all_.end(), [&](const Finding& f) { return f.severity == severity; });
    }
    // The findings' texts in the order found, joined by "; ": all of them, or those of one severity.
    std::string Text() const { return Joined(nullptr); }
    std::string Text(Severity severity) const { return Joined(&severity); }
    const std::vector<Finding>& All() const { return all_; }

private:
    std::string Joined(const Severity* only) const {
        std::string text;
        for (const Finding& finding : all_) {
            if (only != nullptr && finding.severity != *only) continue;
            if (!text.empty()) text += "; ";
            text += finding.text;
        }
        return text;
    }

    std::vector<Finding> all_;
};

}  // namespace snapsift
