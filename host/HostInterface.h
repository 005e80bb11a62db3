#pragma once

// The host's effect plug-in interface, as far as this plug-in uses it: commands,
// error codes, the records handed to the entry point, the parameter definition,
// the pixel world, the interaction and utility callbacks, and the suites.
//
// These declarations are our own, written under the host's published names so
// that the code reads as it would against the host. A build for the real host
// compiles against the host's own headers instead; nothing here is copied from them.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define SOLVANE_HOST_CALL __cdecl
#else
#define SOLVANE_HOST_CALL
#endif

extern "C" {

typedef std::int32_t PF_Err;
typedef std::int32_t PF_Cmd;
typedef std::int32_t A_long;
typedef std::uint32_t A_u_long;
typedef std::int32_t PF_Fixed;
typedef std::int32_t PF_ParamIndex;
typedef std::int32_t PF_ParamType;
typedef std::int32_t PF_ParamFlags;
typedef std::int32_t PF_ParamUIFlags;
typedef std::int32_t PF_ParamValue;
typedef std::int32_t PF_Boolean;
typedef std::int32_t SPErr;
typedef std::int32_t A_Boolean;

// Commands the entry point may receive.
enum {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP = 1,
    PF_Cmd_UNUSED_0 = 2,
    PF_Cmd_GLOBAL_SETDOWN = 3,
    PF_Cmd_PARAMS_SETUP = 4,
    PF_Cmd_SEQUENCE_SETUP = 5,
    PF_Cmd_SEQUENCE_RESETUP = 6,
    PF_Cmd_SEQUENCE_FLATTEN = 7,
    PF_Cmd_SEQUENCE_SETDOWN = 8,
    PF_Cmd_DO_DIALOG = 9,
    PF_Cmd_FRAME_SETUP = 10,
    PF_Cmd_RENDER = 11,
    PF_Cmd_FRAME_SETDOWN = 12
};

// Error codes. The plug-in returns 516 for every failure code raised inside a
// command; the others are what a host expects for memory and internal faults.
enum {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
    PF_Err_INVALID_CALLBACK = 515,
    PF_Err_BAD_CALLBACK_PARAM = 516
};

// Parameter kinds.
enum {
    PF_Param_LAYER = 0,
    PF_Param_SLIDER = 1,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_ANGLE = 3,
    PF_Param_CHECKBOX = 4,
    PF_Param_COLOR = 5,
    PF_Param_POINT = 6,
    PF_Param_POPUP = 7,
    PF_Param_FLOAT_SLIDER = 10
};

enum { PF_ValueDisplayFlag_NONE = 0, PF_ValueDisplayFlag_PERCENT = 1 };
enum { PF_PUI_INVISIBLE = 0x200 };

enum { PF_MAX_EFFECT_MSG_LEN = 255, PF_MAX_EFFECT_PARAM_NAME_LEN = 31 };

typedef struct _PF_ProgPtr* PF_ProgPtr;
typedef void** PF_Handle;
typedef void* PF_PixelPtr;

// One 8-bit pixel in the host's byte order.
typedef struct {
    std::uint8_t alpha;
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
} PF_Pixel8;

// A pixel buffer ("world"): width × height pixels, rows `rowbytes` apart.
typedef struct PF_LayerDef {
    void* reserved0;
    void* reserved1;
    A_long world_flags;
    PF_PixelPtr data;
    A_long rowbytes;
    A_long width;
    A_long height;
    A_long extent_hint[4];
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

typedef struct {
    PF_Fixed value;
    char value_str[32];
    char value_desc[32];
    PF_Fixed valid_min, valid_max;
    PF_Fixed slider_min, slider_max;
    PF_Fixed dephault;
    std::int16_t precision;
    std::int16_t display_flags;
} PF_FixedSliderDef;

typedef struct {
    PF_ParamValue value;
    char value_str[32];
    char value_desc[32];
    PF_ParamValue valid_min, valid_max;
    PF_ParamValue slider_min, slider_max;
    PF_ParamValue dephault;
} PF_SliderDef;

typedef struct {
    double value;
    double phase;
    char value_desc[32];
    float valid_min, valid_max;
    float slider_min, slider_max;
    float dephault;
    std::int16_t precision;
    std::int16_t display_flags;
} PF_FloatSliderDef;

typedef struct {
    PF_Fixed x_value;
    PF_Fixed y_value;
    char reserved[3];
    PF_Boolean restrict_bounds;
    PF_Fixed x_dephault;
    PF_Fixed y_dephault;
} PF_PointDef;

typedef struct {
    PF_ParamValue value;
    std::int16_t num_choices;
    std::int16_t dephault;
    const char* namesptr;
} PF_PopupDef;

typedef struct {
    PF_ParamValue value;
    PF_Boolean dephault;
    char reserved;
    char reserved1;
    std::int16_t reserved2;
    const char* nameptr;
} PF_CheckBoxDef;

typedef union {
    PF_LayerDef ld;
    PF_SliderDef sd;
    PF_FixedSliderDef fd;
    PF_FloatSliderDef fs_d;
    PF_PointDef td;
    PF_PopupDef pd;
    PF_CheckBoxDef bd;
} PF_ParamDefUnion;

// One parameter: declared through add_param, and filled by checkout_param.
typedef struct PF_ParamDef {
    PF_ParamDefUnion u;
    PF_ParamUIFlags ui_flags;
    std::int16_t ui_width;
    std::int16_t ui_height;
    PF_ParamType param_type;
    char name[32];
    PF_ParamFlags flags;
    A_long unused;
    union {
        A_long id;
        A_long change_flags;
    } uu;
} PF_ParamDef;

typedef PF_ParamDef** PF_ParamList;

typedef struct {
    PF_Err(SOLVANE_HOST_CALL* checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                                              A_long time_step, A_u_long time_scale, PF_ParamDef* param);
    PF_Err(SOLVANE_HOST_CALL* checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err(SOLVANE_HOST_CALL* add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDef* def);
} PF_InteractCallbacks;

typedef struct {
    char* (SOLVANE_HOST_CALL* strcpy)(char* destination, const char* source);
} PF_ANSICallbacks;

typedef struct {
    PF_ANSICallbacks ansi;
    PF_Err(SOLVANE_HOST_CALL* get_pixel_data8)(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel8** pixPP);
} PF_UtilCallbacks;

// The host's suite registry.
typedef struct SPBasicSuite {
    SPErr(SOLVANE_HOST_CALL* AcquireSuite)(const char* name, A_long version, const void** suite);
    SPErr(SOLVANE_HOST_CALL* ReleaseSuite)(const char* name, A_long version);
} SPBasicSuite;

typedef struct PF_InData {
    PF_InteractCallbacks inter;
    PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    A_long version_major;
    A_long version_minor;
    A_long current_time;
    A_long time_step;
    A_u_long time_scale;
    A_long width;
    A_long height;
    SPBasicSuite* pica_basicP;
} PF_InData;

typedef struct PF_OutData {
    A_u_long my_version;
    char name[32];
    PF_Handle global_data;
    A_long num_params;
    PF_Handle sequence_data;
    void* frame_data;
    A_long width;
    A_long height;
    A_long out_flags;
    char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
    A_long out_flags2;
} PF_OutData;

// "PF ANSI Suite" version 1: sprintf is its 16th function.
#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion1 1
typedef struct PF_ANSICallbacksSuite1 {
    double(SOLVANE_HOST_CALL* atan)(double);
    double(SOLVANE_HOST_CALL* atan2)(double, double);
    double(SOLVANE_HOST_CALL* ceil)(double);
    double(SOLVANE_HOST_CALL* cos)(double);
    double(SOLVANE_HOST_CALL* exp)(double);
    double(SOLVANE_HOST_CALL* fabs)(double);
    double(SOLVANE_HOST_CALL* floor)(double);
    double(SOLVANE_HOST_CALL* fmod)(double, double);
    double(SOLVANE_HOST_CALL* hypot)(double, double);
    double(SOLVANE_HOST_CALL* log)(double);
    double(SOLVANE_HOST_CALL* log10)(double);
    double(SOLVANE_HOST_CALL* pow)(double, double);
    double(SOLVANE_HOST_CALL* sin)(double);
    double(SOLVANE_HOST_CALL* sqrt)(double);
    double(SOLVANE_HOST_CALL* tan)(double);
    int(SOLVANE_HOST_CALL* sprintf)(char* buffer, const char* format, ...);
    char* (SOLVANE_HOST_CALL* strcpy)(char* destination, const char* source);
    double(SOLVANE_HOST_CALL* asin)(double);
    double(SOLVANE_HOST_CALL* acos)(double);
} PF_ANSICallbacksSuite1;

// "PF AE App Suite" version 7: the third function writes the host's language tag
// (five characters and a NUL) into a six-byte buffer.
#define kPFAppSuite "PF AE App Suite"
#define kPFAppSuiteVersion7 7
typedef struct PFAppSuite7 {
    PF_Err(SOLVANE_HOST_CALL* PF_AppGetBgColor)(void* bg_colorP);
    PF_Err(SOLVANE_HOST_CALL* PF_AppGetColor)(A_long color_type, void* app_colorP);
    PF_Err(SOLVANE_HOST_CALL* PF_AppGetLanguage)(char* lang_tagZ);
    PF_Err(SOLVANE_HOST_CALL* PF_GetPersonalInfo)(void* ptiP);
    PF_Err(SOLVANE_HOST_CALL* PF_GetFontStyleSheet)(A_long sheet, void* font_nameP, std::int16_t* font_numPS,
                                                    std::int16_t* sizePS, std::int16_t* stylePS);
} PFAppSuite7;

// "PF Handle Suite" version 2: functions 1 to 4 make, lock, unlock and dispose of a handle.
#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion2 2
typedef struct PF_HandleSuite2 {
    PF_Handle(SOLVANE_HOST_CALL* host_new_handle)(std::uint64_t size);
    void* (SOLVANE_HOST_CALL* host_lock_handle)(PF_Handle handle);
    void(SOLVANE_HOST_CALL* host_unlock_handle)(PF_Handle handle);
    void(SOLVANE_HOST_CALL* host_dispose_handle)(PF_Handle handle);
    std::uint64_t(SOLVANE_HOST_CALL* host_get_handle_size)(PF_Handle handle);
    PF_Err(SOLVANE_HOST_CALL* host_resize_handle)(std::uint64_t new_size, PF_Handle* handle);
} PF_HandleSuite2;

// The plug-in's one exported function.
typedef PF_Err(SOLVANE_HOST_CALL* PF_EntryPointFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                                      PF_ParamDef* params[], PF_LayerDef* output, void* extra);

} // extern "C"

// Fixed-point helpers (16.16).
constexpr PF_Fixed PF_FixedFromInt(std::int32_t value) { return static_cast<PF_Fixed>(static_cast<std::uint32_t>(value) << 16); }
