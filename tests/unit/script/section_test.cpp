#include <gtest/gtest.h>

#include "script/section.h"

TEST(SectionRegistry, TwentyOneRowsInTheirFixedOrder) {
    const char* const names[SECTION_TYPE_COUNT] = {
        "loading",       "efxBlackWhite", "efxColor",  "efxDeform",   "efxFader",       "efxInverse",
        "efxRadialBlur", "efxRenderMesh", "efxRepeat", "ray",         "background",     "object",
        "objectMatrix",  "camera",        "image",     "imageMatrix", "particleMatrix", "macroBox",
        "particleTex",   "pathway",       "sound",
    };
    for (int i = 0; i < SECTION_TYPE_COUNT; ++i) {
        const SectionType* row = section_types[i];
        ASSERT_NE(row, nullptr) << i;
        EXPECT_STREQ(row->name, names[i]);
        EXPECT_EQ(section_type_find(names[i]), i);
        // The sequencer calls every slot without looking.
        EXPECT_NE(row->prepare, nullptr) << names[i];
        EXPECT_NE(row->init, nullptr) << names[i];
        EXPECT_NE(row->start, nullptr) << names[i];
        EXPECT_NE(row->render, nullptr) << names[i];
        EXPECT_NE(row->stop, nullptr) << names[i];
    }
    EXPECT_EQ(section_type_find("Image"), -1);
    EXPECT_EQ(section_type_find("image "), -1);
    EXPECT_EQ(section_type_find(""), -1);
}

TEST(SectionRecords, NewSectionsAreZeroFilledAndGoToTheHead) {
    section_list_clear();
    Section* first = section_new();
    first->layer = 3;
    Section* second = section_new();
    EXPECT_EQ(section_list, second);
    EXPECT_EQ(second->next, first);
    EXPECT_EQ(first->next, nullptr);
    EXPECT_EQ(second->layer, 0);
    EXPECT_EQ(second->param_count, 0);
    EXPECT_FALSE(second->blend_on);
    EXPECT_EQ(second->data, nullptr);
    section_list_clear();
    EXPECT_EQ(section_list, nullptr);
}
