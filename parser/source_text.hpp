// The text a parser reads.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace tolvane {

// Either the parser's own copy of the text, or a view into bytes that an
// owner keeps alive and unchanged for as long as the SourceText lives (such
// as an immutable Python object), so that large inputs are not copied.
class SourceText {
public:
    SourceText() = default;
    explicit SourceText(std::string text) : owned_(std::move(text)) {}
    SourceText(std::string_view borrowed, std::shared_ptr<const void> owner)
        : borrowed_(borrowed), owner_(std::move(owner)) {}

    std::string_view view() const { return owner_ ? borrowed_ : std::string_view(owned_); }
    bool empty() const { return view().empty(); }

private:
    std::string owned_;
    std::string_view borrowed_;
    std::shared_ptr<const void> owner_;
};

}  // namespace tolvane
