// The access token: fresh and unguessable each run, found where a browser or
// a program presents it, and compared exactly.
#include "standin/server/access_token.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using standin::AccessToken;

TEST(AccessToken, EachRunMakesAnotherOfFortyEightHexDigits) {
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    const AccessToken token = AccessToken::generate();
    EXPECT_EQ(token.value().size(), 48u);
    EXPECT_EQ(token.value().find_first_not_of("0123456789abcdef"), std::string::npos) << token.value();
    seen.insert(token.value());
  }
  EXPECT_EQ(seen.size(), 20u);
}

TEST(AccessToken, MatchesOnlyItselfAsPresentedInAHeaderOrItsCookie) {
  const AccessToken token("c0ffee00c0ffee00");
  EXPECT_TRUE(token.matches("c0ffee00c0ffee00"));
  for (const char *other :
       {"", "c0ffee00c0ffee0", "c0ffee00c0ffee000", "c0ffee00c0ffee01", "C0FFEE00C0FFEE00"})
    EXPECT_FALSE(token.matches(other)) << other;
  EXPECT_FALSE(AccessToken("").matches(""));

  const std::string name = AccessToken::cookieName(8080);
  struct Case {
    const char *authorization;
    std::string cookies;
    std::optional<std::string> presented;
  };
  const Case cases[] = {
      {"", "", std::nullopt},
      {"Bearer abc", "", "abc"},
      {"  Bearer abc  ", name + "=other", "abc"},
      {"Basic abc", "", std::nullopt},
      {"Bearer ", "", std::nullopt},
      {"", name + "=abc", "abc"},
      {"", "a=1; " + name + "=abc; b=2", "abc"},
      {"", "a=1;" + name + "=abc", "abc"},
      {"", "x" + name + "=abc", std::nullopt},
      {"", AccessToken::cookieName(8081) + "=abc", std::nullopt},
      {"", name, std::nullopt},
  };
  for (const Case &c : cases) {
    const auto got = AccessToken::presented(c.authorization, c.cookies, name);
    EXPECT_EQ(got ? std::optional<std::string>(std::string(*got)) : std::nullopt, c.presented)
        << c.authorization << " / " << c.cookies;
  }
  EXPECT_EQ(AccessToken::fromQuery("a=1&token=abc&b=2"), "abc");
  EXPECT_EQ(AccessToken::fromQuery("xtoken=abc"), std::nullopt);
  EXPECT_EQ(token.setCookie(8080), name + "=c0ffee00c0ffee00; HttpOnly; SameSite=Strict; Path=/");
}

}  // namespace
