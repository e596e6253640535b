#pragma once

#include <functional>
#include <string>

namespace kestrel {

// Asks the user for a file: (title, proposed path or name, filter "*.a;;*.b", default suffix) ->
// the chosen path, "" when the user cancels. Windows ask through a file dialog; tests answer
// every file question with one function.
using FileQuestion =
    std::function<std::string(const std::string& title, const std::string& proposed_path,
                              const std::string& filter, const std::string& default_suffix)>;

}  // namespace kestrel
