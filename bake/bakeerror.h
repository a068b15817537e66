#pragma once
#include <stdexcept>
#include <string>

// A problem that stops the baker: the message is one line without the program name, naming the
// file or option concerned. main prints it as "orvalis-bake: <message>" and exits non-zero.
class BakeError : public std::runtime_error {
public:
    explicit BakeError(const std::string& message) : std::runtime_error(message) {}
};
