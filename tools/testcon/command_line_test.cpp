#include "tools/testcon/command_line.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace testcon
