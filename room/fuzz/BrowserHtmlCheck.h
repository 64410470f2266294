// An independent reading of chat HTML as a browser's tokenizer sees it, for the fuzz target and the tests:
// it shares no code with the whitelist. Find returns what it found that could run script or load something
// ("" when nothing): an event-handler attribute other than the program's own window.external calls, a script
// address, a picture or resource from outside, a style that loads or runs, or an element that runs or embeds.
#pragma once

#include <string>

namespace browsercheck {

// `gbk`: the text in the system code page, as the chat view receives it.
std::string Find(const std::string& gbk);

}  // namespace browsercheck
