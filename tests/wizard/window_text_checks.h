#pragma once
// Reading the literal text table against a window: controls by their form
// names, and the table's formats filled in as the program fills them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "wizard/form_layout.h"

namespace zor::test {

inline wizard::Ctl ctlNamed(const char* name) {
    for (const wizard::ControlSpec& c : wizard::formControls()) {
        if (std::strcmp(c.name, name) == 0)
            return c.id;
    }
    ADD_FAILURE() << "no control " << name;
    return wizard::Ctl::Form;
}

template <typename... Args>
std::string formatText(const char* fmt, Args... args) {
    char text[1024];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

}  // namespace zor::test
