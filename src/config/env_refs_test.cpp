#include "config/env_refs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "config/line_reader.h"

namespace {

struct Var {
  const char* name;
  const char* value;
};

// Expands `line` with exactly the variables `vars` set.
std::string expand(const std::string& line, const std::vector<Var>& vars,
                   size_t name_capacity = 1023) {
  clearenv();
  for (const Var& v : vars) setenv(v.name, v.value, 1);
  std::vector<char> buffer(kConfigLineSize);
  line.copy(buffer.data(), line.size());
  std::vector<char> name(name_capacity + 2);
  expand_env_refs(buffer.data(), buffer.size(), name.data(), name_capacity);
  clearenv();
  return buffer.data();
}

}  // namespace

TEST(EnvRefs, Expansion) {
  struct {
    const char* line;
    std::vector<Var> vars;
    const char* expanded;
  } const cases[] = {
      {"/v /s", {}, "/v /s"},
      {"/v 100%", {}, "/v 100%"},
      {"/%OPT%", {{"OPT", "v"}}, "/v"},
      {"/%OPT%", {}, "/"},
      {"/%opt%", {{"OPT", "v"}}, "/v"},
      {"%OPT%", {}, ""},
      {"/v %X%", {{"X", "%Y%"}, {"Y", "s"}}, "/v %Y%"},
      {"/%A%%B%", {{"A", "v"}, {"B", "/s"}}, "/v/s"},
      {"%A%B%C%", {{"C", "/v"}}, "B/v"},
      {"/v 50% to 80%", {}, "/v 50"},
      {"/v%%", {}, "/v"},
      {"%A B%", {{"A B", "x"}}, "x"},  // blanks belong to the name
      {"%=%", {}, ""},
      {"%A%", {{"A", ""}}, ""},
      {"%A%%A%", {{"A", "%"}}, "%%"},
      // A "%" right after a lead byte is that character's second byte.
      {"\x81%A%", {{"A", "v"}}, "\x81%A%"},
      {"\x81%%A%", {{"A", "v"}}, "\x81%v"},
      {"\x81%", {}, "\x81%"},
  };
  for (const auto& c : cases) EXPECT_EQ(expand(c.line, c.vars), c.expanded) << c.line;
}

TEST(EnvRefs, LookupIgnoresCaseAndTakesTheFirstEntry) {
  clearenv();
  putenv(const_cast<char*>("path=first"));
  putenv(const_cast<char*>("PATH=second"));
  putenv(const_cast<char*>("=C:=C:\\DIR"));
  putenv(const_cast<char*>("PATHX=other"));
  EXPECT_STREQ(env_lookup("Path"), "first");
  EXPECT_EQ(env_lookup("PAT"), nullptr);
  EXPECT_EQ(env_lookup(""), nullptr);
  EXPECT_EQ(env_lookup("=C:"), nullptr);  // drive entries are not variables
  clearenv();
}

TEST(EnvRefs, NameCapacity) {
  const std::string name1022(1022, 'N'), name1021(1021, 'N'), name1023(1023, 'N');
  auto line = [](const std::string& name) { return "/%" + name + "%/%A%"; };
  const std::vector<Var> vars = {{name1021.c_str(), "v"}, {name1022.c_str(), "v"},
                                 {name1023.c_str(), "v"}, {"A", "s"}};
  // Passes 1 and 2 (capacity 1023) take names of up to 1022 bytes.
  EXPECT_EQ(expand(line(name1022), vars, 1023), "/v/s");
  EXPECT_EQ(expand(line(name1023), vars, 1023), line(name1023));
  // Pass 3 (capacity 1022) up to 1021 bytes; the rest of the line stays.
  EXPECT_EQ(expand(line(name1021), vars, 1022), "/v/s");
  EXPECT_EQ(expand(line(name1022), vars, 1022), line(name1022));
  // References before the long one are expanded.
  EXPECT_EQ(expand("%A%" + line(name1023), vars, 1023), "s" + line(name1023));
}

TEST(EnvRefs, ExpansionNeverOverflowsTheLine) {
  const std::string big(6000, 'x');
  const std::vector<Var> vars = {{"BIG", big.c_str()}, {"A", "a"}};
  // The first value fits (6000 bytes); the second would make 12000: it and
  // the rest of the line stay as written.
  EXPECT_EQ(expand("%BIG%%BIG%%A%", vars), big + "%BIG%%A%");
  std::string full(10235, 'y');
  EXPECT_EQ(expand(full + "%A%", vars), full + "a");  // exactly 10236 bytes
  std::string exact(10237, 'y');
  EXPECT_EQ(expand(exact + "%A%", {{"A", "abc"}}), exact + "abc");  // 10240 bytes fit
  EXPECT_EQ(expand(exact + "%A%", {{"A", "abcd"}}), exact + "%A%");  // 10241 do not
}
