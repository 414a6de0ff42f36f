#pragma once

#include <exception>
#include <string>

// A plain standard exception that carries a message. The formats' only use is the
// sampling-rate failure, specified as a bare std::exception built from a text; standard
// C++ has no such constructor, so this subclass carries the text and is caught as
// std::exception.
class MessageException : public std::exception {
public:
    explicit MessageException(std::string message) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};
