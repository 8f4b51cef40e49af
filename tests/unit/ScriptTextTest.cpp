#include "ScriptText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

ScriptText FromString(const std::string& text)
{
    return ScriptText::Parse(std::vector<uint8_t>(text.begin(), text.end()));
}

std::string ToString(const ScriptText& script)
{
    const std::vector<uint8_t> bytes = script.Bytes();
    return std::string(bytes.begin(), bytes.end());
}

std::string Value(const ScriptText& script, const char* key)
{
    std::string value;
    return script.Get(key, &value) ? value : std::string("(absent)");
}

std::string SetOn(const std::string& text, const std::string& key, const std::string& value)
{
    ScriptText script = FromString(text);
    script.Set(key, value);
    return ToString(script);
}

TEST(ScriptTextRead, KeysMatchWholeFirstWordsExactly)
{
    const ScriptText script = FromString("#ARQ10 ten\r\n#ARQ1 one\r\n#arq2 lower\r\n#ARQ1 second\r\nx #ARQ3 no\r\n");
    EXPECT_EQ(Value(script, "#ARQ1"), "one");  // the first line wins
    EXPECT_EQ(Value(script, "#ARQ10"), "ten");
    EXPECT_EQ(Value(script, "#arq2"), "lower");
    EXPECT_EQ(Value(script, "#ARQ2"), "(absent)");
    EXPECT_EQ(Value(script, "#ARQ"), "(absent)");
    EXPECT_EQ(Value(script, "#ARQ3"), "(absent)");
    EXPECT_EQ(Value(script, ""), "(absent)");
}

TEST(ScriptTextRead, ValueIsTheRestOfTheLineAfterOneSeparator)
{
    const ScriptText script = FromString(
        "#DIR_NOME_GRUPO My  Great App \r\n#TAB\tC:\\x y\r\n#ALONE\r\n#BLANK \r\n#TWO  two\r\n");
    EXPECT_EQ(Value(script, "#DIR_NOME_GRUPO"), "My  Great App ");
    EXPECT_EQ(Value(script, "#TAB"), "C:\\x y");
    EXPECT_EQ(Value(script, "#ALONE"), "");
    EXPECT_EQ(Value(script, "#BLANK"), "");
    EXPECT_EQ(Value(script, "#TWO"), " two");
}

TEST(ScriptTextRead, EmptyAndUnknownLinesAreSkipped)
{
    const ScriptText script = FromString("\r\n   \r\nsome words here\r\n\r\n#K v\r\n");
    EXPECT_EQ(Value(script, "#K"), "v");
    EXPECT_EQ(Value(script, "some"), "words here");
    EXPECT_FALSE(ScriptText().Exists());
    EXPECT_EQ(Value(ScriptText(), "#K"), "(absent)");
    EXPECT_TRUE(FromString("").Exists());
}

TEST(ScriptTextRead, AcceptsBareLineFeedsAndKeepsLoneCarriageReturns)
{
    const ScriptText script = FromString("#A one\n#B t\rwo\r\n#C three");
    EXPECT_EQ(Value(script, "#A"), "one");
    EXPECT_EQ(Value(script, "#B"), "t\rwo");
    EXPECT_EQ(Value(script, "#C"), "three");
    EXPECT_EQ(ToString(script), "#A one\r\n#B t\rwo\r\n#C three");
}

TEST(ScriptTextRead, LinesAreReadInPiecesOf511Characters)
{
    const std::string full = "#K " + std::string(508, 'v');  // 511 characters
    EXPECT_EQ(Value(FromString(full + "\r\n#N n\r\n"), "#K"), std::string(508, 'v'));

    // The rest of a longer line is a line of its own, key and all.
    const std::string junk(511, 'x');
    const ScriptText split = FromString(junk + "#DIR_DEST C:\\APP\\\r\n");
    EXPECT_EQ(Value(split, "#DIR_DEST"), "C:\\APP\\");

    const ScriptText longer = FromString("#K " + std::string(597, 'v') + "\r\n");
    EXPECT_EQ(Value(longer, "#K"), std::string(508, 'v'));
}

TEST(ScriptTextRead, WordsLongerThanAKeyAreNoKeys)
{
    const std::string key31 = "#" + std::string(30, 'K');
    const std::string key32 = "#" + std::string(31, 'K');
    const ScriptText script = FromString(key32 + " long\r\n" + key31 + " fits\r\n");
    EXPECT_EQ(Value(script, key31.c_str()), "fits");
    EXPECT_EQ(Value(script, key32.c_str()), "(absent)");
}

TEST(ScriptTextBytes, GivesBackTheFileWithCrLf)
{
    const std::string text = "#A 1\r\n\r\n" + std::string(511, 'a') + "\r\n" + std::string(1100, 'b') + "\r\n#B last";
    EXPECT_EQ(ToString(FromString(text)), text);
    EXPECT_EQ(ToString(FromString(std::string(1022, 'c'))), std::string(1022, 'c'));
    EXPECT_EQ(ToString(FromString("#A 1\n\n#B 2\n")), "#A 1\r\n\r\n#B 2\r\n");
    EXPECT_EQ(ToString(FromString("")), "");
    EXPECT_EQ(ToString(ScriptText()), "");
}

TEST(ScriptTextSet, CreatesAMissingScriptWithOneEntry)
{
    ScriptText script;
    script.Set("#DIR_DEST", "C:\\APP\\");
    EXPECT_TRUE(script.Exists());
    EXPECT_EQ(ToString(script), "#DIR_DEST C:\\APP\\\r\n");
    EXPECT_EQ(SetOn("", "#K", "v"), "\r\n#K v\r\n");  // an existing empty file
}

TEST(ScriptTextSet, AppendsANewKeyAfterOneEmptyLine)
{
    EXPECT_EQ(SetOn("#A 1\r\n", "#B", "2"), "#A 1\r\n\r\n#B 2\r\n");
    EXPECT_EQ(SetOn("#A 1\r\n\r\n#B 2\r\n", "#C", "3"), "#A 1\r\n\r\n#B 2\r\n\r\n#C 3\r\n");
    // Without a final line break the last line read meets the end of the file.
    EXPECT_EQ(SetOn("#A 1\r\n#B 2", "#C", "3"), "#A 1\r\n#B 2\r\n#C 3\r\n");
}

TEST(ScriptTextSet, ReplacesAKeyInPlaceWithOneMoreEmptyLine)
{
    const std::string after = SetOn("#A 1\r\n\r\n#B 2\r\n", "#A", "9 and more");
    EXPECT_EQ(after, "#A 9 and more\r\n\r\n\r\n#B 2\r\n\r\n");
    EXPECT_EQ(Value(FromString(after), "#A"), "9 and more");
    // Every line of the key is replaced, a repeated one too.
    EXPECT_EQ(SetOn("#A 1\r\n#A 2\r\n", "#A", "3"), "#A 3\r\n\r\n#A 3\r\n\r\n\r\n");
}

TEST(ScriptTextSet, EmptyValueMovesTheKeyToTheEnd)
{
    const std::string after = SetOn("#A 1\r\n\r\n#B 2\r\n", "#A", "");
    EXPECT_EQ(after, "\r\n#B 2\r\n\r\n#A \r\n");
    EXPECT_EQ(Value(FromString(after), "#A"), "");
    // The line after the dropped one is taken unexamined, even the same key.
    EXPECT_EQ(SetOn("#A 1\r\n#A 2\r\n", "#A", ""), "#A 2\r\n\r\n#A \r\n");
    // Dropping the last line: the read after it meets the end.
    EXPECT_EQ(SetOn("#B 2\r\n#A 1", "#A", ""), "#B 2\r\n\r\n#A \r\n");
}

TEST(ScriptTextSet, EmptyLinesAreNeverTakenForAKey)
{
    EXPECT_EQ(SetOn("\r\n\r\n#A 1\r\n", "", "x"), "\r\n\r\n#A 1\r\n\r\n x\r\n");
    EXPECT_EQ(SetOn("\r\n  \r\n", "#A", "1"), "\r\n  \r\n\r\n#A 1\r\n");
}

TEST(ScriptTextSet, ALineOf511CharactersGainsAnEmptyLine)
{
    const std::string line = "#L " + std::string(508, 'v');
    EXPECT_EQ(SetOn(line + "\r\n", "#A", "1"), line + "\r\n\r\n\r\n#A 1\r\n");
    EXPECT_EQ(SetOn(line, "#A", "1"), line + "\r\n\r\n#A 1\r\n");
    const std::string longer(600, 'x');
    EXPECT_EQ(SetOn(longer + "\r\n", "#A", "1"),
              longer.substr(0, 511) + "\r\n" + longer.substr(511) + "\r\n\r\n#A 1\r\n");
}

TEST(ScriptTextAppend, BuildsTheLayoutOfSuccessiveNewKeys)
{
    ScriptText script;
    script.Append("#DIR_ORIG", "C:\\My Source\\");
    script.Append("#DIR_DEST", "C:\\My App\\");
    script.Append("#ARQ0", "C:\\My@Source\\APP.EXE My@App 787563 372581 GFXX");
    EXPECT_EQ(ToString(script),
              "#DIR_ORIG C:\\My Source\\\r\n\r\n#DIR_DEST C:\\My App\\\r\n\r\n"
              "#ARQ0 C:\\My@Source\\APP.EXE My@App 787563 372581 GFXX\r\n");
    EXPECT_EQ(Value(script, "#DIR_DEST"), "C:\\My App\\");
    EXPECT_EQ(Value(script, "#ARQ0"), "C:\\My@Source\\APP.EXE My@App 787563 372581 GFXX");
}

// Whatever the starting text and the keys, Append gives what Set gives.
TEST(ScriptTextAppend, AgreesWithSetOnRandomEdits)
{
    const std::vector<std::string> starts = {
        "", "#A 1\r\n", "#A 1", "x\r\n\r\n#B 2\r\n", std::string(511, 'z'), std::string(511, 'z') + "\r\n#C 3\r\n"};
    const std::vector<std::string> keys = {"#A", "#B", "#C", "#D", "#E", "#F"};
    std::mt19937 rng(7);
    for (size_t s = 0; s <= starts.size(); ++s) {
        for (int round = 0; round < 20; ++round) {
            ScriptText appended = s < starts.size() ? FromString(starts[s]) : ScriptText();
            ScriptText set = appended;
            for (int step = 0; step < 8; ++step) {
                const std::string& key = keys[rng() % keys.size()];
                std::string value;
                switch (rng() % 4) {
                case 0:
                    break;
                case 1:
                    value = std::string(rng() % 600, 'v');
                    break;
                case 2:
                    value = "a\nb";
                    break;
                default:
                    value = "value " + std::to_string(step);
                    break;
                }
                appended.Append(key, value);
                set.Set(key, value);
                ASSERT_EQ(ToString(appended), ToString(set)) << s << " " << round << " " << step;
                std::string a;
                std::string b;
                ASSERT_EQ(appended.Get(key.c_str(), &a), set.Get(key.c_str(), &b));
                ASSERT_EQ(a, b);
            }
        }
    }
}

TEST(ScriptTextCheck, ReportsEntriesThatWouldNotReadBack)
{
    std::string error;
    EXPECT_TRUE(ScriptText::CheckEntry("#ARQ0", "a b c", &error));
    EXPECT_TRUE(ScriptText::CheckEntry("#K", std::string(508, 'v'), &error));
    EXPECT_TRUE(ScriptText::CheckEntry(std::string(31, 'k'), "", &error));
    EXPECT_FALSE(ScriptText::CheckEntry("#K", std::string(509, 'v'), &error));
    EXPECT_NE(error.find("511"), std::string::npos) << error;
    EXPECT_FALSE(ScriptText::CheckEntry(std::string(32, 'k'), "v", &error));
    EXPECT_FALSE(ScriptText::CheckEntry("", "v", &error));
    EXPECT_FALSE(ScriptText::CheckEntry("#A B", "v", &error));
    EXPECT_FALSE(ScriptText::CheckEntry("#A", "one\r\ntwo", &error));
    EXPECT_FALSE(ScriptText::CheckEntry("#A", "one\ntwo", &error));
}

TEST(ScriptTextRecord, KeysAreNumberedInDecimalAndReadUpToAGapOrNull)
{
    EXPECT_EQ(ScriptText::RecordKey(0), "#ARQ0");
    EXPECT_EQ(ScriptText::RecordKey(10), "#ARQ10");
    EXPECT_EQ(ScriptText::RecordKey(9999), "#ARQ9999");

    const auto values = [](const char* text) {
        return ScriptText::Parse(std::vector<uint8_t>(text, text + std::strlen(text))).RecordValues();
    };
    using Values = std::vector<std::string>;
    EXPECT_EQ(values("#ARQ1 b\r\n#ARQ0 a\r\n#ARQ3 d\r\n"), (Values{"a", "b"}));
    EXPECT_EQ(values("#ARQ0 a\r\n#ARQ1 NULL\r\n#ARQ2 c\r\n"), (Values{"a"}));
    EXPECT_EQ(values("#ARQ1 b\r\n"), Values{});
}

TEST(ScriptTextRecord, SplitsTheFiveFields)
{
    ScriptRecord record;
    std::string error;
    ASSERT_TRUE(ScriptText::ParseRecord("C:\\My@Source\\APP.EXE My@Great@App 787563 372581 GFXX", &record, &error))
        << error;
    EXPECT_EQ(record.arq, "C:\\My Source\\APP.EXE");
    EXPECT_EQ(record.nome, "My Great App");
    EXPECT_EQ(record.TamOrig, 787563u);
    EXPECT_EQ(record.TamComp, 372581u);
    EXPECT_TRUE(record.Grupo);
    EXPECT_TRUE(record.Ful);
    EXPECT_FALSE(record.Typ);
    EXPECT_FALSE(record.Min);

    ASSERT_TRUE(ScriptText::ParseRecord("@lead @x 0 4294967295 XXTM", &record, &error));
    EXPECT_EQ(record.arq, "@lead");  // the first character is never turned
    EXPECT_EQ(record.nome, "@x");
    EXPECT_EQ(record.TamOrig, 0u);
    EXPECT_EQ(record.TamComp, 4294967295u);
    EXPECT_FALSE(record.Grupo);
    EXPECT_FALSE(record.Ful);
    EXPECT_TRUE(record.Typ);
    EXPECT_TRUE(record.Min);

    // Flags count by position only; fifteen digits with leading zeros fit.
    ASSERT_TRUE(ScriptText::ParseRecord("a _ 000000000000123 7 gFMT", &record, &error));
    EXPECT_EQ(record.TamOrig, 123u);
    EXPECT_FALSE(record.Grupo);
    EXPECT_TRUE(record.Ful);
    EXPECT_FALSE(record.Typ);
    EXPECT_FALSE(record.Min);

    ASSERT_TRUE(ScriptText::ParseRecord("  a\t_  1 2 XXXX ", &record, &error));
    EXPECT_EQ(record.arq, "a");
    ASSERT_TRUE(ScriptText::ParseRecord("a " + std::string(63, 't') + " 1 2 XXXX", &record, &error));
    EXPECT_EQ(record.nome.size(), 63u);
}

TEST(ScriptTextRecord, CutsTitlesToWhatTheSetupHolds)
{
    ScriptRecord record;
    std::string error;
    for (const size_t length : {size_t(63), size_t(64), size_t(300)}) {
        const std::string title = std::string(length - 1, 't') + "@z";  // "@" back to a blank
        ASSERT_TRUE(ScriptText::ParseRecord("a " + title + " 1 2 GXXX", &record, &error)) << error;
        if (length + 1 <= 63)
            EXPECT_EQ(record.nome, std::string(length - 1, 't') + " z");
        else
            EXPECT_EQ(record.nome, std::string(60, 't') + "...");
        EXPECT_LE(record.nome.size(), 63u);
    }
}

TEST(ScriptTextRecord, RefusesRecordsOutsideTheLimits)
{
    const struct {
        std::string record;
        const char* reason;
    } cases[] = {
        {"a _ 1 2", "fewer than five fields"},
        {"", "fewer than five fields"},
        {"a _ 1 2 XXXX extra", "more than five fields"},
        {"a _ 1234567890123456 2 XXXX", "\"1234567890123456\""},
        {"a _ 1 12a XXXX", "\"12a\""},
        {"a _ -1 2 XXXX", "\"-1\""},
        {"a _ +1 2 XXXX", "\"+1\""},
        {"a _ 4294967296 2 XXXX", "\"4294967296\""},
        {"a _ 1 2 GFX", "\"GFX\""},
        {"a _ 1 2 GFXXX", "\"GFXXX\""},
    };
    for (const auto& c : cases) {
        ScriptRecord record;
        record.arq = "unchanged";
        std::string error;
        EXPECT_FALSE(ScriptText::ParseRecord(c.record, &record, &error)) << c.record;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_NE(error.find("\"" + c.record + "\""), std::string::npos) << error;
        EXPECT_EQ(record.arq, "unchanged");
    }
}

TEST(ScriptTextRecord, FormatsWhatParseReadsBack)
{
    ScriptRecord record;
    record.arq = "C:\\My Source\\sub dir\\APP.EXE";
    record.nome = "My Great App";
    record.TamOrig = 4294967295u;
    record.TamComp = 0;
    record.Grupo = true;
    record.Typ = true;
    const std::string value = ScriptText::FormatRecord(record);
    EXPECT_EQ(value, "C:\\My@Source\\sub@dir\\APP.EXE My@Great@App 4294967295 0 GXTX");

    ScriptRecord back;
    std::string error;
    ASSERT_TRUE(ScriptText::ParseRecord(value, &back, &error)) << error;
    EXPECT_EQ(back.arq, record.arq);
    EXPECT_EQ(back.nome, record.nome);
    EXPECT_EQ(back.TamOrig, record.TamOrig);
    EXPECT_EQ(back.TamComp, record.TamComp);
    EXPECT_TRUE(back.Grupo && !back.Ful && back.Typ && !back.Min);

    ScriptRecord untitled;
    untitled.arq = "c:\\Windows\\TEMP\\pres.txt";
    untitled.TamOrig = 317;
    untitled.TamComp = 295;
    untitled.Ful = true;
    untitled.Min = true;
    EXPECT_EQ(ScriptText::FormatRecord(untitled), "c:\\Windows\\TEMP\\pres.txt _ 317 295 XFXM");
}

}  // namespace
