#include "support/checks.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <signal.h>
#endif

#include "config/configuration.hpp"
#include "convert/run.hpp"
#include "io/line_reader.hpp"
#include "support/bytes.hpp"
#include "support/conversion_model.hpp"
#include "support/memory_files.hpp"
#include "text/clean_value.hpp"

namespace cardtab::fuzzing {

namespace {

// A run that puts its table in place holds interrupts back until the
// process ends, as the program must; the fuzzer goes on to the next input,
// and needs its own signals (its timer, Ctrl-C) back.
class SignalsKept {
public:
#if !defined(_WIN32)
    SignalsKept() { sigprocmask(SIG_SETMASK, nullptr, &saved_); }
    ~SignalsKept() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

private:
    sigset_t saved_;
#endif
};

using testing::MemoryFiles;

void require(bool holds, const char* promise)
{
    if (!holds) {
        std::fprintf(stderr, "broken promise: %s\n", promise);
        std::abort();
    }
}

// Splits one table line into fields as a CSV reader would: a field between
// quotes ends at a quote not doubled; a bare field at the separator.
std::size_t count_fields(std::string_view line, char separator)
{
    std::size_t fields = 1;
    std::size_t at = 0;
    while (at <= line.size()) {
        if (at < line.size() && line[at] == '"') {
            for (++at; at < line.size(); ++at) {
                if (line[at] == '"' && (at + 1 == line.size() || line[at + 1] != '"')) {
                    break;
                }
                at += line[at] == '"' ? 1u : 0u;
            }
            require(at < line.size(), "a quoted field is closed");
            ++at;
            require(at == line.size() || line[at] == separator, "a quoted field ends at a separator");
        } else {
            while (at < line.size() && line[at] != separator) {
                require(line[at] != '"', "a bare field holds no quote");
                ++at;
            }
        }
        if (at == line.size()) {
            break;
        }
        ++fields;
        ++at;
    }
    return fields;
}

void check_table(std::string_view table, char separator, std::size_t columns)
{
    require(table.size() >= 2 && table.substr(table.size() - 2) == "\r\n", "the table ends in CR LF");
    // A UTF-8 table's byte order mark is no text of its first field.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    for (std::size_t start = table.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0; start < table.size();) {
        const std::size_t end = table.find("\r\n", start);
        const std::string_view line = table.substr(start, end - start);
        require(line.find('\n') == std::string_view::npos, "every line feed follows a CR");
        require(count_fields(line, separator) == (columns == 0 ? 1 : columns), "each line has a field a column");
        start = end + 2;
    }
}

// Reads from one byte on, so that lines cross the edges of what is read.
constexpr std::array<std::size_t, 6> kReadChunks = {1, 7, 64, 1999, 2000, 4096};

// Both ways of cleaning a value give the value the rules give for the text
// after the first colon of every line of the cards, folded.
void check_clean_ways(std::string_view cards)
{
    constexpr TableCharset kCharset = TableCharset::windows_1250_plain;
    std::array<char, kMaxValueBytes> words{};
    std::array<char, kMaxValueBytes> avx512{};
    for (const std::string& piece : testing::model_pieces(cards)) {
        const std::size_t colon = piece.find(':', 1);
        const std::string text = colon == std::string::npos ? std::string() : piece.substr(colon + 1);
        const PaddedBuffer padded = testing::padded_copy(text, '\0');
        const PaddedText view = padded.text(0, text.size());
        for (const bool drop_spaces : {false, true}) {
            bool words_plain = false;
            bool avx512_plain = false;
            const ValueTables& tables = value_tables(kCharset, true);
            const std::size_t by_words = clean_value_with_words(view, words, drop_spaces, tables, &words_plain);
            const std::size_t by_avx512 = clean_value_with_avx512(view, avx512, drop_spaces, tables, &avx512_plain);
            require(std::string_view(words.data(), by_words) == std::string_view(avx512.data(), by_avx512),
                    "both ways of cleaning give the same value");
            require(std::string_view(words.data(), by_words) == testing::by_the_value_rules(text, kCharset, true, drop_spaces),
                    "cleaning gives the value the rules give");
            require(words_plain == avx512_plain, "both ways leave the same values to decoding");
        }
    }
}

// The high bit of the input's second byte asks for --decode, and the two
// below it for none of the other options, --accents, --utf8 or --outlook.
constexpr std::size_t kDecodeBit = 0x8000;
constexpr std::size_t kOptionShift = 13;
constexpr std::size_t kOptionBits = std::size_t{3} << kOptionShift;

RunOptions with_options(RunOptions options, std::size_t choice)
{
    const std::size_t option = (choice & kOptionBits) >> kOptionShift;
    options.charset = option == 1   ? std::optional(TableCharset::windows_1250)
                      : option == 2 ? std::optional(TableCharset::utf8)
                                    : std::nullopt;
    options.outlook = option == 3;
    return options;
}

// The input's length chooses how many threads scan the cards, in parts of
// how many bytes: the table is the same.
ScanSpread spread_for(std::size_t input_size)
{
    constexpr std::array<std::size_t, 3> kPartBytes = {32, 200, 4096};
    const std::size_t choice = input_size / (kReadChunks.size() * 4);
    return {1 + choice % 3, kPartBytes[(choice / 3) % kPartBytes.size()]};
}

// The input's length chooses how the table takes the old one's place: no
// old table, an old one renamed over, or one copied into (a second name, a
// folder that allows no new file). Each gives the same table.
void put_an_old_table(MemoryFiles& files, const testing::ModelConversion& model, std::size_t input_size)
{
    const std::size_t layout = (input_size / kReadChunks.size()) % 4;
    if (layout == 0 || model.refused) {
        return;
    }
    files.files[model.table_name] = "an old table, which may be longer than the new one";
    if (layout == 2) {
        files.linked.insert(model.table_name);
    }
    files.refuses_new_files = layout == 3;
}


// The table's rows, without the header line and the byte order mark before
// it: a title holds no line feed.
std::string_view rows_of(std::string_view table)
{
    const std::size_t header_end = table.find("\r\n");
    return header_end == std::string_view::npos ? std::string_view() : table.substr(header_end + 2);
}

// Two card files read into one table give the first one's table and the
// second one's rows, each file read as if alone.
void check_two_files(const std::optional<std::string>& configuration, std::string_view cards, std::size_t split,
                     RunOptions options, const testing::ModelOptions& model_options)
{
    const std::string first(cards.substr(0, split));
    const std::string second(cards.substr(split));
    const testing::ModelConversion alone = testing::model_conversion(configuration, first, model_options);
    const testing::ModelConversion next = testing::model_conversion(configuration, second, model_options);
    MemoryFiles files;
    if (configuration) {
        files.files[std::string(kConfigurationFileName)] = *configuration;
    }
    files.files["a.vcf"] = first;
    files.files["b.vcf"] = second;
    options.cards = {"a.vcf", "b.vcf"};
    options.table = "t.csv";
    const RunResult result = [&] {
        [[maybe_unused]] const SignalsKept kept;
        return run_conversion(files, options);
    }();
    require(!result.failed, "a run of two card files in place succeeds");
    require(files.files["a.vcf"] == first && files.files["b.vcf"] == second, "no card file is written");
    require(files.files["t.csv"] == alone.table + std::string(rows_of(next.table)),
            "two card files give the rows of each, each read as if alone");
}


} // namespace

void check_conversion(std::string_view input)
{
    const std::size_t choice = input.size() >= 2 ? static_cast<unsigned char>(input[0]) |
                                                       (std::size_t{static_cast<unsigned char>(input[1])} << 8)
                                                 : 0;
    const std::string_view rest = input.substr(std::min<std::size_t>(input.size(), 2));
    const bool decode = (choice & kDecodeBit) != 0;
    const std::size_t split = (choice & ~(kDecodeBit | kOptionBits)) % (rest.size() + 1);
    const std::optional<std::string> configuration =
        split == 0 ? std::nullopt : std::optional<std::string>(rest.substr(0, split));
    const std::string cards(rest.substr(split));
    RunOptions options = with_options(testing::naming({}, {}, decode), choice);
    options.spread = spread_for(input.size());
    const testing::ModelConversion model =
        testing::model_conversion(configuration, cards, {decode, options.outlook, options.charset});

    MemoryFiles files;
    if (configuration) {
        files.files[std::string(kConfigurationFileName)] = *configuration;
    }
    if (!model.refused) {
        files.files[model.card_name] = cards;
    }
    put_an_old_table(files, model, input.size());
    files.read_limit = kReadChunks[input.size() % kReadChunks.size()];
    const RunResult result = [&] {
        [[maybe_unused]] const SignalsKept kept;
        return run_conversion(files, options);
    }();

    require(files.open_count() == 0, "every file is closed");
    require(files.new_files_left() == 0, "no new table file is left behind");
    require(!configuration || files.files[std::string(kConfigurationFileName)] == *configuration,
            "the configuration is never written");
    if (model.refused) {
        require(result.failed, "a base name that is too long refuses the run");
        require(!result.messages.empty() && result.messages.back().rfind("cardtab: ", 0) == 0,
                "a failure says what failed");
        return;
    }
    require(!result.failed, "a run with its files in place succeeds");
    require(files.files[model.card_name] == cards, "the card file is never written");
    require(files.files.count(model.table_name) == 1, "a successful run writes its table");
    const std::string& table = files.files[model.table_name];
    if (table != model.table) {
        std::fprintf(stderr, "table:\n%s\nmodel:\n%s\n", testing::escaped(table).c_str(),
                     testing::escaped(model.table).c_str());
    }
    require(table == model.table, "the table is the one the rules give");
    check_table(table, model.separator, model.columns);
    if (!decode && can_clean_with_avx512()) {
        check_clean_ways(cards);
    }
    if (input.size() % 4 == 1) {
        check_two_files(configuration, cards, (choice >> 4) % (cards.size() + 1), options,
                        {decode, options.outlook, options.charset});
    }
}

namespace {

std::vector<std::string> read_pieces(std::string_view bytes, std::size_t chunk_bytes, std::size_t read_limit)
{
    MemoryFiles files;
    files.files["f"] = std::string(bytes);
    files.read_limit = read_limit;
    LineReader reader;
    require(open_line_reader(reader, files, "f", chunk_bytes).ok, "the file opens");
    std::vector<std::string> pieces;
    while (read_piece(reader)) {
        require(reader.text_length <= kMaxPieceBytes, "a piece holds at most 1,999 bytes");
        pieces.emplace_back(current_text(reader));
    }
    require(close_line_reader(reader).ok, "the file closes");
    return pieces;
}

} // namespace

void check_line_reader(std::string_view input)
{
    const std::vector<std::string> expected = testing::model_pieces(input);
    constexpr std::size_t kChunks[] = {1, 3, 7, 64, 1999, 2000, 4096, kReadChunkBytes};
    for (const std::size_t chunk : kChunks) {
        require(read_pieces(input, chunk, chunk) == expected, "pieces do not depend on the buffer size");
    }
    require(read_pieces(input, kReadChunkBytes, 5) == expected, "pieces do not depend on the read length");
}

} // namespace cardtab::fuzzing
