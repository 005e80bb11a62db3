// The host-facing logic without OpenGL: the string table, the parameter
// declarations and readers (through the substitute host's callbacks), the entry
// point's exception firewall, the registration resource and the shared types.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "standin/PiplInfo.h"
#include "standin/SubstituteHost.h"
#include "common/Rect.h"
#include "glcontext/AEOpenGLContext.h"
#include "host/EntryPoint.h"
#include "host/Parameters.h"
#include "host/PiplResource.h"
#include "host/StringTable.h"
#include "renderer/RenderSettings.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::StandIn;
using StandIn::SubstituteHost;

namespace {

const char kCenterZh[] = "\xD6\xD0\xD0\xC4";
const char kQualityChoicesZh[] = "\xB8\xDF-\xE4\xD6\xC8\xBE\xC2\xFD|\xD6\xD0|\xB5\xCD-\xE4\xD6\xC8\xBE\xBF\xEC";

} // namespace

TEST(StringTable, ChineseOnlyForTheExactTagZhCN)
{
    for (const char* tag : {"zh_CN", "zh_TW", "en_GB", "ZH_CN", "en_US", "ja_JP", "xx"}) {
        SubstituteHost host(nullptr, tag);
        StringTable table(&host.inData());
        EXPECT_EQ(host.suitesHeld(), 0) << tag;
        if (std::string(tag) == "zh_CN") {
            EXPECT_STREQ(table.lookup("Center"), kCenterZh);
            EXPECT_STREQ(table.lookup("kQuality"), kQualityChoicesZh);
        } else {
            EXPECT_STREQ(table.lookup("Center"), "Center") << tag;
            EXPECT_STREQ(table.lookup("kQuality"), "High - Slow|Medium|Low - Fast") << tag;
        }
    }
    SubstituteHost host(nullptr, "ja_JP");
    EXPECT_EQ(StringTable::hostLanguageIndex(&host.inData()), 5);
}

TEST(StringTable, MissingAppSuiteThrows13AndHoldsNothing)
{
    SubstituteHost host(nullptr, "zh_CN");
    host.faults.refusedSuites.insert(kPFAppSuite);
    try {
        StringTable table(&host.inData());
        FAIL() << "expected the integer 13";
    } catch (int code) {
        EXPECT_EQ(code, 13);
    }
    EXPECT_EQ(host.suitesHeld(), 0);
}

TEST(StringTable, InsertAndLookup)
{
    StringTable chinese(0);
    EXPECT_STREQ(chinese.lookup("Not a key"), "Not a key");

    // An update happens in place: a text handed out earlier reads the new text.
    const char* before = chinese.lookup("Center");
    chinese.insert("Center", "Middle", "\xD6\xD0");
    EXPECT_EQ(chinese.lookup("Center"), before);
    EXPECT_STREQ(before, "\xD6\xD0");

    // English only: every language shows the English text.
    chinese.insert("Extra", "Extra text", nullptr);
    StringTable english(1);
    english.insert("Extra", "Extra text", nullptr);
    EXPECT_STREQ(chinese.lookup("Extra"), "Extra text");
    EXPECT_STREQ(english.lookup("Extra"), "Extra text");

    // Chinese only is kept only when the table is Chinese.
    english.insert("ZhOnly", nullptr, "\xD6\xD0");
    EXPECT_STREQ(english.lookup("ZhOnly"), "");
    chinese.insert("ZhOnly", nullptr, "\xD6\xD0");
    EXPECT_STREQ(chinese.lookup("ZhOnly"), "\xD6\xD0");
}

TEST(StringTable, LongTextsAreCutOnACharacterBoundary)
{
    StringTable chinese(0);
    std::string english(300, 'e');
    std::string gbk;
    for (int i = 0; i < 150; ++i) {
        gbk += "\xD6\xD0"; // 300 bytes of two-byte characters
    }
    chinese.insert("Long", english.c_str(), gbk.c_str());
    EXPECT_EQ(std::strlen(chinese.lookup("Long")), 254u); // 127 whole characters
    StringTable englishTable(1);
    englishTable.insert("Long", english.c_str(), nullptr);
    EXPECT_EQ(std::strlen(englishTable.lookup("Long")), 255u);

    std::string utf8 = std::string(254, 'a') + "\xE4\xB8\xAD"; // a three-byte character crossing the limit
    char field[256];
    copyTextField(field, utf8.c_str(), false);
    EXPECT_EQ(std::strlen(field), 254u);
}

class ParametersTest : public ::testing::Test {
protected:
    void declare(const char* tag = "en_US")
    {
        table = std::make_unique<StringTable>(std::string(tag) == "zh_CN" ? 0 : 1);
        ASSERT_EQ(declareParameters(&host.inData(), &host.outData(), *table), PF_Err_NONE);
    }
    SubstituteHost host{nullptr};
    std::unique_ptr<StringTable> table;
};

TEST_F(ParametersTest, DeclarationsAreTheStoredTable)
{
    declare();
    ASSERT_EQ(host.parameters().size(), 8u);
    EXPECT_EQ(host.outData().num_params, 8);
    const auto& p = host.parameters();
    const char* names[] = {"", "Threshold", "Threshold Smooth", "Center", "Shine Length", "Exposure", "Quality",
                           "Ray Only"};
    const PF_ParamType kinds[] = {0, PF_Param_FIX_SLIDER, PF_Param_FIX_SLIDER, PF_Param_POINT, PF_Param_SLIDER,
                                  PF_Param_FIX_SLIDER, PF_Param_POPUP, PF_Param_CHECKBOX};
    for (int i = 1; i < 8; ++i) {
        EXPECT_STREQ(p[i].declared.name, names[i]);
        EXPECT_EQ(p[i].declared.param_type, kinds[i]) << i;
        EXPECT_EQ(p[i].declared.uu.id, i);
        EXPECT_EQ(p[i].declared.flags, 0);
    }
    const auto& threshold = p[1].declared.u.fd;
    EXPECT_EQ(threshold.valid_min, 0);
    EXPECT_EQ(threshold.valid_max, 0x640000);
    EXPECT_EQ(threshold.slider_max, 0x640000);
    EXPECT_EQ(threshold.dephault, 0x320000);
    EXPECT_EQ(threshold.value, 0x320000);
    EXPECT_EQ(threshold.precision, 1);
    EXPECT_EQ(threshold.display_flags, PF_ValueDisplayFlag_PERCENT);
    EXPECT_STREQ(threshold.value_str, "");
    EXPECT_EQ(p[2].declared.u.fd.dephault, 0);
    EXPECT_EQ(p[5].declared.u.fd.dephault, 0xA0000);

    const auto& center = p[3].declared.u.td;
    EXPECT_EQ(center.x_value, 0x320000);
    EXPECT_EQ(center.y_dephault, 0x320000);
    EXPECT_EQ(center.restrict_bounds, 0);

    EXPECT_EQ(p[4].declared.u.sd.valid_max, 2048);
    EXPECT_EQ(p[4].declared.u.sd.dephault, 2048);
    EXPECT_EQ(p[4].declared.ui_flags, PF_PUI_INVISIBLE);
    EXPECT_EQ(p[1].declared.ui_flags, 0);

    EXPECT_EQ(p[6].declared.u.pd.num_choices, 3);
    EXPECT_EQ(p[6].declared.u.pd.dephault, 2);
    EXPECT_EQ(p[6].choices, "High - Slow|Medium|Low - Fast");
    EXPECT_STREQ(p[7].declared.u.bd.nameptr, "");
    EXPECT_EQ(p[7].declared.u.bd.value, 0);
}

TEST_F(ParametersTest, ChineseNamesAreGbkBytes)
{
    declare("zh_CN");
    EXPECT_STREQ(host.parameters()[3].declared.name, kCenterZh);
    EXPECT_EQ(host.parameters()[6].choices, kQualityChoicesZh);
}

TEST_F(ParametersTest, FailingAddParamStopsTheDeclaration)
{
    host.faults.failAddParamAt = 3;
    StringTable strings(1);
    EXPECT_EQ(declareParameters(&host.inData(), &host.outData(), strings), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host.parameters().size(), 3u); // the layer and the first two
    EXPECT_EQ(host.outData().num_params, 8);
}

TEST_F(ParametersTest, ReadSettingsConvertsToRendererUnits)
{
    declare();
    RenderSettings settings;
    // Defaults on a 200 × 100 layer.
    host.inData().width = 200;
    host.inData().height = 100;
    readSettings(&host.inData(), settings);
    EXPECT_DOUBLE_EQ(settings.threshold, 0.5);
    EXPECT_DOUBLE_EQ(settings.thresholdSmooth, 0.01);
    EXPECT_DOUBLE_EQ(settings.center.x, 100.0);
    EXPECT_DOUBLE_EQ(settings.center.y, 50.0);
    EXPECT_DOUBLE_EQ(settings.shineLength, 2048.0);
    EXPECT_DOUBLE_EQ(settings.exposure, 0.4);
    EXPECT_EQ(settings.quality, 1);
    EXPECT_FALSE(settings.rayOnly);
    EXPECT_EQ(host.checkoutsOpen(), 0);

    host.setFixedSlider(kParamThreshold, 50.5); // the integer part only
    host.setFixedSlider(kParamExposure, 100);
    host.setPoint(kParamCenter, 100.5, -3.25); // a point keeps its fraction
    host.setPopup(kParamQuality, 1);
    host.setCheckbox(kParamRayOnly, true);
    readSettings(&host.inData(), settings);
    EXPECT_DOUBLE_EQ(settings.threshold, 0.5);
    EXPECT_DOUBLE_EQ(settings.exposure, 4.0);
    EXPECT_DOUBLE_EQ(settings.center.x, 100.5);
    EXPECT_DOUBLE_EQ(settings.center.y, -3.25);
    EXPECT_EQ(settings.quality, 0);
    EXPECT_TRUE(settings.rayOnly);
    host.setFixedSlider(kParamThreshold, 100);
    host.setPopup(kParamQuality, 3);
    readSettings(&host.inData(), settings);
    EXPECT_DOUBLE_EQ(settings.threshold, 1.0);
    EXPECT_EQ(settings.quality, 2);
}

TEST_F(ParametersTest, ReadersRejectOtherKindsAndFailedCheckouts)
{
    declare();
    double number = -1.0;
    EXPECT_FALSE(readNumber(&host.inData(), kParamCenter, number)); // a point is not a number
    EXPECT_EQ(number, -1.0);
    bool box = true;
    EXPECT_FALSE(readCheckbox(&host.inData(), kParamQuality, box));
    EXPECT_TRUE(box);
    EXPECT_EQ(host.checkoutsOpen(), 0); // checked in in both cases

    // A float slider reads its value unchanged, fraction included.
    auto& shine = host.parameter(kParamShineLength).current;
    shine.param_type = PF_Param_FLOAT_SLIDER;
    shine.u.fs_d.value = 12.75;
    EXPECT_TRUE(readNumber(&host.inData(), kParamShineLength, number));
    EXPECT_DOUBLE_EQ(number, 12.75);

    // A failed checkout leaves every field, and is not checked in.
    RenderSettings settings;
    readSettings(&host.inData(), settings);
    const double exposure = settings.exposure;
    host.faults.failCheckoutIndex = kParamExposure;
    readSettings(&host.inData(), settings);
    readSettings(&host.inData(), settings);
    EXPECT_DOUBLE_EQ(settings.exposure, exposure); // not scaled again frame after frame
    EXPECT_EQ(host.checkoutsOpen(), 0);
}

TEST(EntryPoint, NothingUnwindsIntoTheHost)
{
    SubstituteHost host(nullptr);
    PF_InData& in = host.inData();
    struct Thrower {
        static PF_Err badAlloc(PF_ProgPtr, PF_ParamIndex, PF_ParamDef*) { throw std::bad_alloc(); }
        static PF_Err fault(PF_ProgPtr, PF_ParamIndex, PF_ParamDef*) { throw AESDK_OpenGL_Fault{1}; }
        static PF_Err other(PF_ProgPtr, PF_ParamIndex, PF_ParamDef*) { throw std::runtime_error("x"); }
        static PF_Err code(PF_ProgPtr, PF_ParamIndex, PF_ParamDef*) { throw 4; }
    };
    const std::pair<decltype(in.inter.add_param), PF_Err> cases[] = {
        {Thrower::badAlloc, PF_Err_OUT_OF_MEMORY},
        {Thrower::fault, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {Thrower::other, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {Thrower::code, PF_Err_BAD_CALLBACK_PARAM},
    };
    for (const auto& c : cases) {
        in.inter.add_param = c.first;
        EXPECT_EQ(EntryPointFunc(PF_Cmd_PARAMS_SETUP, &in, &host.outData(), nullptr, nullptr, nullptr), c.second);
    }
    // Commands without their records are refused, not crashed on.
    EXPECT_EQ(EntryPointFunc(PF_Cmd_ABOUT, nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(EntryPointFunc(PF_Cmd_RENDER, &in, &host.outData(), nullptr, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
}

TEST(RegistrationResource, BytesAreTheHostsTable)
{
    // Written out by hand: head, then vendor, key, id, length and padded data per property.
    const std::string expected = std::string("\x01\x00" "\x00\x00\x00\x00" "\x0C\x00\x00\x00", 10) +
        std::string("MIB8dnik\0\0\0\0\x04\0\0\0TKFe", 20) +
        std::string("MIB8eman\0\0\0\0\x10\0\0\0\x0EOstrel Solvane\0", 32) +
        std::string("MIB8gtac\0\0\0\0\x08\0\0\0\x06Ostrel\0", 24) +
        std::string("MIB84668\0\0\0\0\x10\0\0\0EntryPointFunc\0\0", 32) +
        std::string("MIB8RVPe\0\0\0\0\x04\0\0\0\x02\0\0\0", 20) +
        std::string("MIB8RVSe\0\0\0\0\x04\0\0\0\x0D\0\x1B\0", 20) +
        std::string("MIB8REVe\0\0\0\0\x04\0\0\0\x01\0\x08\0", 20) +
        std::string("MIB8FNIe\0\0\0\0\x02\0\0\0\0\0\0\0", 20) +
        std::string("MIB8OLGe\0\0\0\0\x04\0\0\0\0\0\0\0", 20) +
        std::string("MIB82LGe\0\0\0\0\x04\0\0\0\0\0\0\0", 20) +
        std::string("MIB8LFea\0\0\0\0\x04\0\0\0\x08\0\0\0", 20) +
        std::string("MIB8ANMe\0\0\0\0\x10\0\0\0\x0EOstrel_Solvane\0", 32);
    ASSERT_EQ(expected.size(), 290u);
    const auto& bytes = Pipl::kBytes;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);

    const StandIn::PiplInfo info = StandIn::decodePipl(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_EQ(info.name, "Ostrel Solvane");
    EXPECT_EQ(info.entryPoint, "EntryPointFunc");
    EXPECT_EQ(info.effectVersion, 0x80001u);
    EXPECT_EQ(StandIn::describeEffectVersion(info.effectVersion), "1.0 (development, build 1)");

    // Damaged resources are refused with a reason, never read past their end.
    std::vector<std::uint8_t> truncated(bytes.begin(), bytes.begin() + 100);
    EXPECT_THROW(StandIn::decodePipl(truncated), std::runtime_error);
    std::vector<std::uint8_t> notAnEffect(bytes.begin(), bytes.end());
    notAnEffect[30] = 'X'; // the kind's data
    EXPECT_THROW(StandIn::decodePipl(notAnEffect), std::runtime_error);
    std::vector<std::uint8_t> hugeLength(bytes.begin(), bytes.end());
    hugeLength[22] = 0xFF; // the first property's length
    EXPECT_THROW(StandIn::decodePipl(hugeLength), std::runtime_error);
    // A counted name one byte longer than its property: the count byte (at 46) equals the property's length of 16,
    // so the name would end one byte past the property's data. One shorter still fits.
    std::vector<std::uint8_t> nameTooLong(bytes.begin(), bytes.end());
    nameTooLong[46] = 0x10;
    EXPECT_THROW(StandIn::decodePipl(nameTooLong), std::runtime_error);
    nameTooLong[46] = 0x0F;
    EXPECT_EQ(StandIn::decodePipl(nameTooLong).name, std::string("Ostrel Solvane\0", 15));
}

TEST(Rect, UniteGrowsToContainThePoint)
{
    Rect inside(0, 0, 200, 100);
    inside.unite(Vec2(50, 50));
    EXPECT_EQ(inside.size().x, 200);
    EXPECT_EQ(inside.size().y, 100);

    Rect box(0, 0, 200, 100);
    box.unite(Vec2(-40, 30));
    EXPECT_EQ(box.x, -40);
    EXPECT_EQ(box.y, 0);
    EXPECT_EQ(box.width, 240);
    EXPECT_EQ(box.height, 100);

    Rect farOut(0, 0, 200, 100);
    farOut.unite(Vec2(250.5, 130));
    EXPECT_EQ(farOut.x, 0);
    EXPECT_EQ(farOut.width, 250.5);
    EXPECT_EQ(farOut.height, 130);
}
