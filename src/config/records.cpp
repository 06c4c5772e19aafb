#include "config/records.hpp"

#include "text/text.hpp"

namespace cardtab {

namespace {

bool holds(std::string_view title, std::string_view mark)
{
    return find_text(title, mark, 0) != kNotFound;
}

} // namespace

RunSettings default_settings()
{
    RunSettings settings;
    assign(settings.input_base_name, kDefaultInputBaseName);
    assign(settings.output_base_name, kDefaultOutputBaseName);
    return settings;
}

ColumnMarks marks_of_title(std::string_view title)
{
    ColumnMarks marks;
    marks.strips_spaces = holds(title, "#");
    marks.is_required = holds(title, "*") || marks.strips_spaces;
    marks.is_constant = holds(title, "Ident");
    return marks;
}

void add_column(ColumnTable& table, std::string_view title, std::string_view tag)
{
    Column& column = table.columns[table.count++];
    assign(column.title, title);
    assign(column.tag, tag);
    column.marks = marks_of_title(view(column.title));
}

std::string_view effective_output_base_name(const RunSettings& settings)
{
    const std::string_view output = view(settings.output_base_name);
    return output.starts_with('*') ? view(settings.input_base_name) : output;
}

} // namespace cardtab
