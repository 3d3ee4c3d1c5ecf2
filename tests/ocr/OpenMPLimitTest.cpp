#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string Output(const std::string& Command) {
  std::string Text;
  if (FILE* Pipe = popen(Command.c_str(), "r")) {
    char Buffer[256];
    while (fgets(Buffer, sizeof Buffer, Pipe))
      Text += Buffer;
    pclose(Pipe);
  }
  return Text;
}

TEST(OpenMPLimit, TesseractGetsOneThreadUnlessTheUserSetsTheLimit) {
  const std::string Probe = KORVEX_OPENMP_PROBE;
  // Qt loads the OpenMP runtime before main(), so only a restart makes it see the limit.
  EXPECT_EQ(Output("env -u OMP_THREAD_LIMIT " + Probe), "preloaded=1 limit=1\n");
  EXPECT_EQ(Output("env OMP_THREAD_LIMIT=3 " + Probe), "preloaded=1 limit=3\n");
}

} // namespace
