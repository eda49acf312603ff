#include "tools/testcon/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testcon {
namespace {

arg_value arg(std::string_view text) {
  arg_value v;
  std::string error;
  EXPECT_TRUE(parse_argument(text, &v, &error)) << text << ": " << error;
  return v;
}

std::string arg_error(std::string_view text) {
  arg_value v;
  std::string error;
  EXPECT_FALSE(parse_argument(text, &v, &error)) << text;
  return error;
}

TEST(TestconArguments, IntegersDecimalHexAndSign) {
  EXPECT_EQ(std::get<std::int32_t>(arg("9600")), 9600);
  EXPECT_EQ(std::get<std::int32_t>(arg("-2")), -2);
  EXPECT_EQ(std::get<std::int32_t>(arg("+7")), 7);
  EXPECT_EQ(std::get<std::int32_t>(arg("0x1F")), 31);
  EXPECT_EQ(std::get<std::int32_t>(arg("0xFFFFFFFF")), -1);
  EXPECT_EQ(std::get<std::int32_t>(arg("-0x10")), -16);
  EXPECT_EQ(std::get<std::int32_t>(arg("-2147483648")), INT32_MIN);
  // Beyond 32 bits a decimal stays a number, so the member can refuse it as out of range.
  EXPECT_EQ(std::get<double>(arg("2147483648")), 2147483648.0);
  EXPECT_FALSE(arg_error("0x100000000").empty());
  EXPECT_FALSE(arg_error("12ab").empty());
  EXPECT_FALSE(arg_error("0x").empty());
}

TEST(TestconArguments, OneSignAtMost) {
  EXPECT_FALSE(arg_error("--5").empty());
  EXPECT_FALSE(arg_error("+-5").empty());
  EXPECT_FALSE(arg_error("-+1.5").empty());
  EXPECT_FALSE(arg_error("--9223372036854775808").empty());
  EXPECT_FALSE(arg_error("-+0x10").empty());
}

TEST(TestconArguments, FloatsBooleansNothingAndOmitted) {
  EXPECT_EQ(std::get<double>(arg("1.5")), 1.5);
  EXPECT_EQ(std::get<double>(arg("-2.0")), -2.0);
  EXPECT_EQ(std::get<bool>(arg("true")), true);
  EXPECT_EQ(std::get<bool>(arg("FALSE")), false);
  EXPECT_TRUE(std::holds_alternative<arg_nothing>(arg("nothing")));
  EXPECT_TRUE(std::holds_alternative<arg_omitted>(arg("-")));
  EXPECT_FALSE(arg_error("1.5.2").empty());
  EXPECT_NE(arg_error("hello").find("double quotes"), std::string::npos);
}

TEST(TestconArguments, StringsWithEscapesAndUtf8) {
  EXPECT_EQ(std::get<std::u16string>(arg(R"("")")), u"");
  EXPECT_EQ(std::get<std::u16string>(arg(R"("a b")")), u"a b");
  EXPECT_EQ(std::get<std::u16string>(arg(R"("q\"\\\r\n\t")")), u"q\"\\\r\n\t");
  EXPECT_EQ(std::get<std::u16string>(arg(R"("\x00\x7F\xff")")), std::u16string(u"\0\x7F\xFF", 3));
  EXPECT_EQ(std::get<std::u16string>(arg("\"日本語\"")), u"日本語");
  EXPECT_EQ(std::get<std::u16string>(arg("\"\xF0\x9F\x98\x80\"")), u"\U0001F600");
  EXPECT_FALSE(arg_error(R"("\q")").empty());
  EXPECT_FALSE(arg_error(R"("\x4")").empty());
  EXPECT_FALSE(arg_error("\"\xC3\"").empty());          // truncated sequence
  EXPECT_FALSE(arg_error("\"\xC0\xAF\"").empty());      // overlong
  EXPECT_FALSE(arg_error("\"\xED\xA0\x80\"").empty());  // encoded surrogate
}

TEST(TestconArguments, ByteArrays) {
  EXPECT_EQ(std::get<arg_bytes>(arg("bytes:313233")).bytes,
            (std::vector<std::uint8_t>{0x31, 0x32, 0x33}));
  EXPECT_EQ(std::get<arg_bytes>(arg("bytes:c3fF")).bytes, (std::vector<std::uint8_t>{0xC3, 0xFF}));
  EXPECT_TRUE(std::get<arg_bytes>(arg("bytes:")).bytes.empty());
  EXPECT_FALSE(arg_error("bytes:123").empty());
  EXPECT_FALSE(arg_error("bytes:zz").empty());
}

TEST(TestconCommands, EachCommandAndItsArguments) {
  command c;
  std::string error;
  ASSERT_TRUE(parse_command_line("   ", &c, &error));
  EXPECT_EQ(c.kind, command_kind::none);
  ASSERT_TRUE(parse_command_line("  # comment \"unterminated", &c, &error));
  EXPECT_EQ(c.kind, command_kind::none);

  ASSERT_TRUE(parse_command_line("get BaudRate", &c, &error)) << error;
  EXPECT_EQ(c.kind, command_kind::get);
  EXPECT_EQ(c.name, "BaudRate");

  ASSERT_TRUE(parse_command_line("put Parity 2", &c, &error)) << error;
  EXPECT_EQ(c.kind, command_kind::put);
  ASSERT_EQ(c.args.size(), 1u);
  EXPECT_EQ(std::get<std::int32_t>(c.args[0]), 2);

  ASSERT_TRUE(parse_command_line("call Open - 19200 -  \"x y\"\t1.5", &c, &error)) << error;
  EXPECT_EQ(c.kind, command_kind::call);
  EXPECT_EQ(c.name, "Open");
  ASSERT_EQ(c.args.size(), 5u);
  EXPECT_TRUE(std::holds_alternative<arg_omitted>(c.args[0]));
  EXPECT_EQ(std::get<std::u16string>(c.args[3]), u"x y");
  EXPECT_EQ(std::get<double>(c.args[4]), 1.5);

  ASSERT_TRUE(parse_command_line("invoke 16 call", &c, &error)) << error;
  EXPECT_EQ(c.kind, command_kind::invoke);
  EXPECT_EQ(c.dispid, 16);
  EXPECT_EQ(c.action, invoke_action::call);
  ASSERT_TRUE(parse_command_line("invoke -552 call", &c, &error)) << error;
  EXPECT_EQ(c.dispid, -552);
  ASSERT_TRUE(parse_command_line("invoke 81 put 4800", &c, &error)) << error;
  EXPECT_EQ(c.action, invoke_action::put);

  ASSERT_TRUE(parse_command_line("pump 250", &c, &error)) << error;
  EXPECT_EQ(c.milliseconds, 250);
  ASSERT_TRUE(parse_command_line("mode design", &c, &error)) << error;
  EXPECT_FALSE(c.run_mode);
  ASSERT_TRUE(parse_command_line("QUIT", &c, &error)) << error;
  EXPECT_EQ(c.kind, command_kind::quit);
}

TEST(TestconCommands, SiblingControlsArePlacedToldAndPassedByName) {
  command c;
  std::string error;
  ASSERT_TRUE(parse_command_line("place Q1 modem", &c, &error)) << error;
  EXPECT_EQ(c.kind, command_kind::place);
  EXPECT_EQ(c.name, "Q1");
  EXPECT_EQ(c.sibling_kind, "modem");
  ASSERT_TRUE(parse_command_line("PLACE T1 Counting-Occupier", &c, &error)) << error;
  EXPECT_EQ(c.name, "T1");  // names keep their case
  EXPECT_EQ(c.sibling_kind, "counting-occupier");
  ASSERT_TRUE(parse_command_line("unplace T1", &c, &error)) << error;
  EXPECT_EQ(c.kind, command_kind::unplace);
  EXPECT_EQ(c.name, "T1");

  ASSERT_TRUE(parse_command_line("tell Q1 Dial \"/dev/pts/3\"", &c, &error)) << error;
  EXPECT_EQ(c.kind, command_kind::tell);
  EXPECT_EQ(c.name, "Q1");
  EXPECT_EQ(c.sibling_action, "dial");
  ASSERT_EQ(c.args.size(), 1u);
  EXPECT_EQ(std::get<std::u16string>(c.args[0]), u"/dev/pts/3");
  ASSERT_TRUE(parse_command_line("tell Q1 refuse", &c, &error)) << error;
  EXPECT_TRUE(c.args.empty());

  ASSERT_TRUE(parse_command_line("call ConnectTapiCtl @Q1", &c, &error)) << error;
  ASSERT_EQ(c.args.size(), 1u);
  EXPECT_EQ(std::get<arg_object>(c.args[0]).name, "Q1");
  ASSERT_TRUE(parse_command_line("put _TermOrFile @T1", &c, &error)) << error;
  EXPECT_EQ(std::get<arg_object>(c.args[0]).name, "T1");
  ASSERT_TRUE(parse_command_line("call Output \"@Q1\"", &c, &error)) << error;
  EXPECT_EQ(std::get<std::u16string>(c.args[0]), u"@Q1");  // quoted: just text
  ASSERT_TRUE(parse_command_line("help", &c, &error)) << error;
  EXPECT_EQ(c.kind, command_kind::help);

  EXPECT_FALSE(parse_command_line("place Q1", &c, &error));
  EXPECT_NE(error.find("usage: place NAME"), std::string::npos);
  EXPECT_FALSE(parse_command_line("place Q1 toaster", &c, &error));
  EXPECT_EQ(error, "'toaster' is no sibling kind (modem, occupier, counting-occupier, plain)");
  EXPECT_FALSE(parse_command_line("place Q1 modem extra", &c, &error));
  EXPECT_FALSE(parse_command_line("unplace", &c, &error));
  EXPECT_FALSE(parse_command_line("tell Q1", &c, &error));
  EXPECT_FALSE(parse_command_line("call ConnectTapiCtl @", &c, &error));
  EXPECT_EQ(error, "argument 1: @ needs the name of a control on the form");
  EXPECT_FALSE(parse_command_line("help me now", &c, &error));
  EXPECT_EQ(error, "usage: help [NAME]");
  ASSERT_TRUE(parse_command_line("help BaudRate", &c, &error));
  EXPECT_EQ(c.kind, command_kind::help);
  EXPECT_EQ(c.name, "BaudRate");
  ASSERT_TRUE(parse_command_line("members", &c, &error));
  EXPECT_EQ(c.kind, command_kind::members);
  ASSERT_TRUE(parse_command_line("PORTS", &c, &error));
  EXPECT_EQ(c.kind, command_kind::ports);
  EXPECT_FALSE(parse_command_line("members all", &c, &error));
}

TEST(TestconCommands, TheSummaryNamesEveryCommand) {
  const std::string_view summary = command_summary();
  for (const char* verb :
       {"get NAME",        "put NAME", "call NAME", "invoke DISPID", "pump MS",
        "mode run|design", "members",  "help NAME", "ports",         "save FILE",
        "load FILE",       "dirty",    "pages",     "place NAME",    "unplace NAME",
        "tell NAME",       "help",     "quit",      "@NAME",         "sibling NAME"})
    EXPECT_NE(summary.find(verb), std::string_view::npos) << verb;
}

TEST(TestconCommands, MalformedLinesSayWhatIsWrong) {
  command c;
  std::string error;
  EXPECT_FALSE(parse_command_line("frobnicate", &c, &error));
  EXPECT_NE(error.find("unknown command"), std::string::npos);
  EXPECT_FALSE(parse_command_line("get", &c, &error));
  EXPECT_NE(error.find("usage"), std::string::npos);
  EXPECT_FALSE(parse_command_line("put BaudRate", &c, &error));
  EXPECT_FALSE(parse_command_line("put BaudRate 1 2", &c, &error));
  EXPECT_FALSE(parse_command_line("call Output \"abc", &c, &error));
  EXPECT_NE(error.find("unterminated"), std::string::npos);
  EXPECT_FALSE(parse_command_line("call Output \"a\"b", &c, &error));
  EXPECT_FALSE(parse_command_line("call Crc16 bytes:1", &c, &error));
  EXPECT_NE(error.find("argument 1"), std::string::npos);
  EXPECT_FALSE(parse_command_line("invoke x call", &c, &error));
  EXPECT_FALSE(parse_command_line("invoke 1 poke", &c, &error));
  EXPECT_FALSE(parse_command_line("invoke 81 put", &c, &error));
  EXPECT_FALSE(parse_command_line("pump -5", &c, &error));
  EXPECT_FALSE(parse_command_line("pump 1.5", &c, &error));
  EXPECT_FALSE(parse_command_line("mode sometimes", &c, &error));
  EXPECT_FALSE(parse_command_line("quit now", &c, &error));
}

TEST(TestconCommands, ALineHoldingANulByteIsMalformedWhereverTheNulIs) {
  command c;
  std::string error;
  using namespace std::string_literals;
  // Cut at the NUL, this would be "put BaudRate" with the value after it: it must not run.
  EXPECT_FALSE(parse_command_line("put BaudRate\0x 4800"s, &c, &error));
  EXPECT_EQ(error, "the line holds a NUL byte (at column 13)");
  EXPECT_EQ(c.kind, command_kind::none);
  EXPECT_FALSE(parse_command_line("call Output \"a\0b\""s, &c, &error));
  EXPECT_FALSE(parse_command_line("# comment\0"s, &c, &error));
  EXPECT_FALSE(parse_command_line("\0"s, &c, &error));
  EXPECT_EQ(error, "the line holds a NUL byte (at column 1)");
  // Without the NUL the same text is fine.
  EXPECT_TRUE(parse_command_line("put BaudRate 4800", &c, &error)) << error;
}

TEST(TestconCommands, ErrorsQuoteAtMost200CharactersOfTheLine) {
  command c;
  std::string error;
  const std::string head(200, 'z');
  const std::string tail = "TAIL" + std::string(100'000, 'y');
  EXPECT_FALSE(parse_command_line(head + tail, &c, &error));
  EXPECT_EQ(error, "unknown command '" + head + "...'");
  EXPECT_FALSE(parse_command_line("put BaudRate " + head + tail, &c, &error));
  EXPECT_EQ(error, "argument 1: '" + head + "...' is not a value (strings need double quotes)");
  const std::string digits(300, '7');
  EXPECT_FALSE(parse_command_line("invoke " + digits + " call", &c, &error));
  EXPECT_EQ(error, "'" + digits.substr(0, 200) + "...' is not a DISPID");
  EXPECT_FALSE(parse_command_line("invoke 1 " + head + tail, &c, &error));
  EXPECT_EQ(error, "invoke needs get, put or call, not '" + head + "...'");
  EXPECT_FALSE(parse_command_line("put BaudRate 1" + head, &c, &error));
  EXPECT_EQ(error, "argument 1: '1" + head.substr(0, 199) + "...' is not a number");
  EXPECT_FALSE(parse_command_line("put BaudRate 0x" + digits, &c, &error));
  EXPECT_EQ(error, "argument 1: '0x" + digits.substr(0, 198) + "...' is not a 32-bit hex integer");
  // Exactly 200 characters are quoted whole.
  EXPECT_FALSE(parse_command_line(head, &c, &error));
  EXPECT_EQ(error, "unknown command '" + head + "'");
}

std::vector<std::string> all_lines(line_buffer& input) {
  std::vector<std::string> lines;
  std::string line;
  while (input.next_line(&line)) lines.push_back(line);
  return lines;
}

TEST(TestconInput, LinesCutAnywhereComeOutWhole) {
  line_buffer input;
  input.append("get Baud");
  EXPECT_TRUE(all_lines(input).empty());
  input.append("Rate\r\n\nput Parity");
  EXPECT_EQ(all_lines(input), (std::vector<std::string>{"get BaudRate", ""}));
  input.append(" 2\n\r\nlast");
  EXPECT_EQ(all_lines(input), (std::vector<std::string>{"put Parity 2", ""}));
  EXPECT_EQ(input.take_rest(), "last");
  EXPECT_EQ(input.take_rest(), "");
  // Bytes one at a time, a NUL among them: kept as they are for the parser to refuse.
  using namespace std::string_literals;
  const std::string text = "a\0b\nc\n"s;
  for (char ch : text) input.append(std::string_view(&ch, 1));
  EXPECT_EQ(all_lines(input), (std::vector<std::string>{"a\0b"s, "c"}));
}

TEST(TestconInput, ALongLineInSmallPiecesIsSearchedOnce) {
  // 8 MB in 4 KiB pieces, the next line looked for after each: every byte is examined once.
  // Searching the pending line from its start each time would look at about 8 GB.
  line_buffer input;
  const std::string piece(4096, 'x');
  std::string line;
  std::size_t total = 0;
  for (int i = 0; i < 2048; ++i) {
    input.append(piece);
    total += piece.size();
    EXPECT_FALSE(input.next_line(&line));
  }
  input.append("\nquit\n");
  total += 6;
  ASSERT_TRUE(input.next_line(&line));
  EXPECT_EQ(line.size(), 2048u * 4096u);
  ASSERT_TRUE(input.next_line(&line));
  EXPECT_EQ(line, "quit");
  EXPECT_FALSE(input.next_line(&line));
  EXPECT_EQ(input.bytes_examined(), total);
}

}  // namespace
}  // namespace testcon
