// "--save DIR": the checks in their order with their messages, and what is kept.
#include "tests/sound/sound_runs.h"

using namespace sound_test;

TEST(Save, RefusedWithTheFirstFaultInCheckingOrder) {
    const std::string notOneLine = "Sorvane's settings are one JSON line on stdin",
                      noSide = "Sorvane's settings name an output or an input",
                      layout = "that channel layout isn't readable", volume = "a volume runs from 0 to 1";
    const std::string line = studioWanted().dump(), brackets = std::string(100000, '[') + std::string(100000, ']');
    const std::string deep = R"({"output":{"uid":"studio","x":)" + brackets + "}}";
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {std::nullopt, notOneLine}, {"\n", notOneLine}, {"{\"output\":", notOneLine},
        {R"({"output":{"name":"Studio"}})", notOneLine},
        {"nonsense\n" + line + "\n", notOneLine},  // only the first line counts
        {line + std::string((1 << 20) + 1 - line.size(), ' ') + "\n", notOneLine},
        {deep + "\n", notOneLine},  // a hundred thousand brackets once overflowed the stack
        {"{}\n", noSide}, {R"({"output":null,"input":null,"others":[{"uid":"spk"}]})", noSide},
        {R"({"output":{"uid":"gone","rate":1}})", "gone isn't a connected output"},
        {R"({"output":{"uid":"gone","name":"Old Box"}})", "Old Box isn't a connected output"},
        {R"({"output":{"uid":"mic"}})", "mic isn't a connected output"},
        {R"({"input":{"uid":"spk","name":"Speakers"}})", "Speakers isn't a connected input"},
        {R"({"output":{"uid":"studio","rate":7999.5,"layout":""}})", "7999.5 Hz isn't a sample rate"},
        {R"({"output":{"uid":"studio","rate":768000.5}})", "768000.5 Hz isn't a sample rate"},
        {R"({"output":{"uid":"studio","rate":900000}})", "900000.0 Hz isn't a sample rate"},
        {R"({"output":{"uid":"studio","layout":"","volume":{"1":2}}})", layout},
        {R"({"output":{"uid":"studio","layout":"AgBl*AAAAAAAAAAA"}})", layout},
        {R"({"output":{"uid":"studio","layout":"AgBlAAAA\nAAAAAAAA"}})", layout},
        {R"({"output":{"uid":"studio","layout":"AgBlAAAAAAABAAAA"}})", layout},  // one description counted, none there
        {R"({"output":{"uid":"studio","volume":{"1":0.5,"2":-0.01}}})", volume},
        {R"({"output":{"uid":"studio","volume":{"1":1.01}}})", volume},
        {R"({"output":{"uid":"studio","volume":{"1":7}},"input":{"uid":"gone"}})", volume},
        {R"({"output":{"uid":"studio"},"input":{"uid":"mic","rate":100}})", "100.0 Hz isn't a sample rate"},
        {R"({"output":{"uid":"spk"},"input":{"uid":"gone"}})", "gone isn't a connected input"},
    };
    for (const auto& [input, message] : cases) {
        std::string what = input.value_or("no input").substr(0, 100);
        Stage stage(json{{"output", {{"uid", "earlier"}}}});
        auto result = sound(stage.machine, {"--save", stage.dir.path()}, input);
        EXPECT_EQ(result.status, 1) << what;
        EXPECT_EQ(result.out, errorLine(message)) << what;
        EXPECT_EQ(harness::readFile(stage.file("sorvane.json")), R"({"output":{"uid":"earlier"}})") << what;
        EXPECT_FALSE(harness::exists(stage.file(".sorvane.json.tmp"))) << what;
    }
}

TEST(Save, KeepsTheRecordAsRead) {
    Stage stage(nullptr);
    // Exact limits, an empty volume map, others kept unchecked, unknown members dropped, only the
    // first line read.
    std::string line = R"({"output":{"uid":"studio","rate":8000,"volume":{"1":0,"2":1},"extra":true},)"
                       R"("input":{"uid":"mic","name":"In\/Out","rate":768000,"volume":{}},)"
                       R"("others":[{"uid":"x","rate":1}],"comment":"x"})";
    auto result = sound(stage.machine, {"--save", stage.dir.path()}, line + "\n" R"({"output":{"uid":"spk"}})" "\n");
    EXPECT_EQ(result.out, "{\"type\":\"saved\"}\n");
    EXPECT_EQ(harness::readFile(stage.file("sorvane.json")),
              R"({"input":{"name":"In\/Out","rate":768000,"uid":"mic","volume":{}},"others":[{"rate":1,"uid":"x"}],)"
              R"("output":{"rate":8000,"uid":"studio","volume":{"1":0,"2":1}}})");
    EXPECT_FALSE(harness::exists(stage.file(".sorvane.json.tmp")));
    EXPECT_TRUE(stage.machine.calls("AudioObjectSetPropertyData").empty());
    // The folder is made even when the line is bad.
    auto bad = sound(stage.machine, {"--save", stage.file("a/b/c")});
    EXPECT_EQ(bad.out, errorLine("Sorvane's settings are one JSON line on stdin"));
    EXPECT_TRUE(std::filesystem::is_directory(stage.file("a/b/c")));
}
