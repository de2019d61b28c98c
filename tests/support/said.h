#pragma once

#include <QString>

namespace tallyhive::testing {

// Passes a call's answer on and keeps its text, for the lines of a test that
// read what the latest call said.
struct Said {
    template <typename Reply>
    Reply operator()(Reply reply)
    {
        text = reply.text;
        return reply;
    }
    QString text;
};

}  // namespace tallyhive::testing
