// kesttool page: a readable listing of a scenario page, and pages assembled from that text.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/sjis.h"
#include "engine/page.h"
#include "engine/pagetext.h"
#include "tools/kesttool.h"
#include "vfs/streams.h"

namespace kest::tool {
namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "kesttool page: %s\n", message.c_str());
  return 1;
}

int Run(const std::vector<std::string>& args) {
  if (args.size() == 2 && args[0] == "dis") {
    try {
      TMemoryStream m;
      m.LoadFromFile(args[1]);
      m.SetPosition(0);
      TPage page(args[1]);
      switch (page.LoadFromStream(m)) {
        case TPage::TLoadResult::Loaded: break;
        case TPage::TLoadResult::TooNew: return Fail(args[1] + ": page version above 115");
        case TPage::TLoadResult::TooOld: return Fail(args[1] + ": page version below 103 (rebuild it)");
      }
      if (m.Position() != m.Size()) return Fail(args[1] + ": bytes after the last command");
      std::string text = DisassemblePage(page);
      std::fwrite(text.data(), 1, text.size(), stdout);
      return 0;
    } catch (const std::exception& e) {
      return Fail(args[1] + ": " + Cp932ToUtf8(e.what()));
    }
  }
  if (args.size() == 3 && args[0] == "asm") {
    try {
      std::ifstream in(args[1], std::ios::binary);
      if (!in) return Fail(args[1] + ": cannot open");
      std::stringstream ss;
      ss << in.rdbuf();
      TPage page;
      AssemblePage(ss.str(), page);
      TMemoryStream m;
      page.SaveToStream(m);
      TFileStream out(args[2], TFileAccess::Create);
      out.WriteBuffer(m.Memory(), m.Size());
      return 0;
    } catch (const std::exception& e) {
      return Fail(args[1] + ": " + Cp932ToUtf8(e.what()));
    }
  }
  return Fail("usage: kesttool page dis IN.ksb | kesttool page asm IN.txt OUT.ksb");
}

const RegisterFamily reg({"page",
                          "kesttool page dis IN.ksb            readable listing (valid asm input)\n"
                          "kesttool page asm IN.txt OUT.ksb    a page from its text form",
                          Run});

}  // namespace
}  // namespace kest::tool
