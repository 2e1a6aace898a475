/* reader_fixture.h - runs the converter's readers over in-memory text. */
#ifndef PAGELIFT_TESTS_READER_FIXTURE_H
#define PAGELIFT_TESTS_READER_FIXTURE_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/menu_records.h"

class ReaderFixture : public ::testing::Test {
protected:
    std::string text;

    // Makes 'input' the stream being read, as if it were the input file.
    void open(const std::string &input)
    {
        close();
        text = input;
        reader.stream = text.empty() ? fopen("/dev/null", "r") : fmemopen(text.data(), text.size(), "r");
        ASSERT_NE(nullptr, reader.stream);
        reader.keys = buildMenuKeys();
        reader.nesting = 1;
    }
    void close()
    {
        if (reader.stream) fclose(reader.stream);
        reader.stream = nullptr;
        freeMenuKeys(reader.keys);
        reader.keys = nullptr;
        reader.nesting = 0;
    }
    void TearDown() override
    {
        close();
        freeMenus();
    }

    // The menus read so far, as "name(headerValue): label=action; ...".
    static std::vector<std::string> menus()
    {
        std::vector<std::string> out;
        for (const Menu *m = reader.menus; m; m = m->next) {
            std::string s = std::string(m->name) + "(" + std::to_string(m->headerValue) + "):";
            for (const MenuEntry *e = m->entries; e; e = e->next)
                s += std::string(" ") + e->label + "=" + e->action + ";";
            out.push_back(s);
        }
        return out;
    }
};

#endif
