#pragma once
// Message boxes of the test client. The windows supply one that shows a box; tests
// supply one that records. Boxes carry no caption of their own unless one is given.
#include <string>
#include <string_view>

namespace quillet {

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No };

class Prompter {
public:
    virtual ~Prompter() = default;
    // Shows text and waits for the answer; called on the application thread only.
    virtual PromptAnswer MessageBox(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                                    std::string_view caption = {}) = 0;
};

} // namespace quillet
