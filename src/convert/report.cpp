#include "convert/report.hpp"

#include <cstdio>

namespace cardtab {

void warn(RunResult& result, std::string_view text)
{
    result.messages.push_back(std::string(kProgramPrefix).append(text));
}

void fail(RunResult& result, std::string_view text)
{
    if (result.failed) {
        return;
    }
    result.failed = true;
    warn(result, text);
}

void fail_on_file(RunResult& result, std::string_view action, std::string_view name,
                  const IoStatus& status)
{
    std::string text = "cannot ";
    text.append(action).append(" '").append(name).append("': ").append(status.reason);
    fail(result, text);
}

int exit_status(const RunResult& result)
{
    return result.failed ? 1 : 0;
}

int report_run(const RunResult& result)
{
    for (const std::string& message : result.messages) {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
    return exit_status(result);
}

} // namespace cardtab
