// The filter dialog's popup help as the resources define it: every tool names a control of
// the dialog's template and a text of the string table, and every text reaches the tooltip
// as written (tabs and line feeds as the markup's tags, a "<" doubled).
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "HtmlMarkup.h"
#include "dialog/HelpTools.h"
#include "plugin/ProductInfo.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "#define NAME number" lines of the resource header.
std::map<std::string, long> Defines() {
    std::map<std::string, long> ids{{"IDOK", 1}, {"IDCANCEL", 2}};
    std::istringstream in(ReadFile(VG_SOURCE_DIR "/resources/resource.h"));
    std::string word, name, value;
    while (in >> word) {
        if (word == "#define" && in >> name >> value && !value.empty() &&
            (std::isdigit(static_cast<unsigned char>(value[0])) != 0)) {
            ids[name] = std::stol(value);
        }
    }
    return ids;
}

// The control ids of one dialog template of the resource script.
std::set<long> TemplateControls(const std::string& name, const std::map<std::string, long>& ids) {
    const std::string rc = ReadFile(VG_SOURCE_DIR "/resources/VarenGlaze2.rc");
    const size_t start = rc.find("\n" + name + " DIALOGEX");
    const size_t begin = rc.find("\nBEGIN", start);
    const size_t end = rc.find("\nEND", begin);
    std::set<long> controls;
    std::istringstream lines(rc.substr(begin, end - begin));
    std::string line;
    while (std::getline(lines, line)) {
        for (const auto& [id, number] : ids) {
            const size_t at = line.find(id);
            if (at != std::string::npos && at > 0 && (line[at - 1] == ' ' || line[at - 1] == ',') &&
                (line.size() == at + id.size() || line[at + id.size()] == ',')) {
                controls.insert(number);
            }
        }
    }
    return controls;
}

// The help texts with the resource script's escapes undone, by id.
std::map<long, std::string> HelpTexts(const std::map<std::string, long>& ids) {
    std::map<long, std::string> texts;
    std::istringstream lines(ReadFile(VG_SOURCE_DIR "/resources/HelpText.rc"));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t id = line.find("IDS_");
        const size_t open = line.find('"');
        if (id == std::string::npos || open == std::string::npos) {
            continue;
        }
        const std::string name = line.substr(id, line.find(' ', id) - id);
        std::string text;
        for (size_t i = open + 1; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char e = line[++i];
                text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            } else {
                text += line[i];
            }
        }
        texts[ids.at(name)] = text;
    }
    return texts;
}

// What a text shows once it has been read as markup: its text, tabs and line breaks.
std::string Shown(const std::string& markup) {
    std::string out;
    for (const html::Token& t : html::Tokenize(markup)) {
        if (t.kind == html::Token::Kind::Text) {
            out += t.text;
        } else if (t.kind == html::Token::Kind::Open && t.text == "br") {
            out += '\n';
        } else if (t.kind == html::Token::Kind::Open && t.text == "t") {
            out += '\t';
        } else {
            out += "<?>";  // any other tag would change the text
        }
    }
    return out;
}

}  // namespace

TEST(HelpTools, EveryToolNamesAControlOfItsTemplateAndATextOfTheTable) {
    const auto ids = Defines();
    const auto texts = HelpTexts(ids);
    const std::set<long> dialog = TemplateControls("IDD_VG_MAIN", ids);
    ASSERT_EQ(help::kDialogToolCount, 18u);
    std::set<int> controls;
    std::set<unsigned> used;
    for (const help::Tool& tool : help::kDialogTools) {
        EXPECT_TRUE(dialog.count(tool.control)) << tool.control;
        EXPECT_TRUE(texts.count(static_cast<long>(tool.text))) << tool.text;
        controls.insert(tool.control);
        used.insert(tool.text);
    }
    EXPECT_EQ(controls.size(), 18u);
    EXPECT_EQ(used.size(), 18u);
    // The nine parameter texts, and each page's rows on that page's template.
    std::set<unsigned> params(std::begin(help::kParamTexts), std::end(help::kParamTexts));
    EXPECT_EQ(params.size(), 9u);
    for (unsigned text : params) {
        EXPECT_TRUE(texts.count(static_cast<long>(text))) << text;
        EXPECT_FALSE(used.count(text));
    }
    EXPECT_EQ(texts.size(), 27u);
}

TEST(HelpTools, TextsReachTheTooltipAsWritten) {
    const auto texts = HelpTexts(Defines());
    for (const auto& [id, text] : texts) {
        EXPECT_EQ(Shown(help::Markup(text)), text) << id;
    }
    // The boost row's text is the one with a "<": undoubled it would still show, but only
    // because no ">" follows it.
    const std::string boost = texts.at(IDS_TIP_TEXTURE_BOOST);
    ASSERT_NE(boost.find('<'), std::string::npos);
    EXPECT_EQ(help::Markup("a<b>c"), "a<<b>c");
    EXPECT_EQ(Shown(help::Markup("a<b>c")), "a<b>c");
    EXPECT_NE(Shown("a<b>c"), "a<b>c");
}

TEST(HelpTools, TheUpdateAddressIsASecureOneOnTheVersionFilesPath) {
    const std::string address = kUpdateAddress;
    EXPECT_EQ(address.rfind("https://", 0), 0u);
    const std::string path = "/updates/varenglaze2_x64.txt";
    EXPECT_EQ(address.substr(address.size() - path.size()), path);
}
