#include "result/run_result.hpp"

namespace cardtab {

void warn(RunResult& result, std::string_view text)
{
    const auto before = result.failed ? result.messages.end() - 1 : result.messages.end();
    result.messages.insert(before, std::string(kWarningPrefix).append(text));
}

void fail(RunResult& result, std::string_view text)
{
    if (result.failed) {
        return;
    }
    result.failed = true;
    result.messages.push_back(std::string(kProgramPrefix).append(text));
}

void fail_on_file(RunResult& result, std::string_view action, std::string_view name,
                  const IoStatus& status)
{
    fail_on_file(result, action, name, name, status);
}

void fail_on_file(RunResult& result, std::string_view action, std::string_view name, std::string_view final_name,
                  const IoStatus& status)
{
    std::string text = "cannot ";
    text.append(action).append(" '").append(name).append("'");
    if (final_name != name) {
        text.append(" (a link to '").append(final_name).append("')");
    }
    text.append(": ").append(status.reason);
    fail(result, text);
}

void fail_on_line(RunResult& result, std::string_view file, std::size_t line, std::string_view text)
{
    fail(result, std::string(file).append(": line ").append(std::to_string(line)).append(": ").append(text));
}

int exit_status(const RunResult& result)
{
    return result.failed ? 1 : 0;
}

std::string counted(std::uint64_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count).append(" ").append(by_count(count, one, many));
}

} // namespace cardtab
