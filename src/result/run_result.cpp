#include "result/run_result.hpp"

namespace cardtab {

void warn(RunResult& result, std::string_view text)
{
    result.messages.push_back(std::string(kWarningPrefix).append(text));
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

int exit_status(const RunResult& result)
{
    return result.failed ? 1 : 0;
}

namespace {

std::string named(const FileInMessage& file)
{
    return file.what.empty() ? std::string(file.name)
                             : std::string(file.what).append(" '").append(file.name).append("'");
}

} // namespace

void warn_about(RunResult& result, const FileInMessage& file, std::string_view text)
{
    warn(result, named(file).append(text));
}

std::string at_line(const FileInMessage& file, std::size_t line)
{
    return named(file).append(": line ").append(std::to_string(line)).append(": ");
}

void warn_about_line(RunResult& result, const FileInMessage& file, std::size_t line, std::string_view text)
{
    warn(result, at_line(file, line).append(text));
}

void warn_of_wide_text(RunResult& result, const FileInMessage& file, WideText wide, std::string_view what_fails)
{
    if (wide != WideText::none) {
        warn_about(result, file,
                   std::string(" is ").append(wide == WideText::utf16 ? "UTF-16" : "UTF-32").append(", in which ")
                       .append(what_fails).append("; save it as UTF-8"));
    }
}

std::string counted(std::uint64_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count).append(" ").append(by_count(count, one, many));
}

} // namespace cardtab
