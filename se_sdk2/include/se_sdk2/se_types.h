// Records, constants and entry-point types of the host's plug-in calling
// interface. Everything here crosses the boundary between the host and a
// plug-in library, so layout matters more than style.
//
// 32-bit builds (the real target): every record has the host's layout
// exactly: int and every pointer are 4 bytes, little-endian, no padding. The
// static_asserts at the end pin every offset.
//
// 64-bit builds (development and test hosts only): every field that holds an
// address (pointers, the host word, entry addresses) is pointer-sized, every
// int field stays 32 bits, and the order of fields is the same; the compiler's
// natural alignment applies. The results of the host callback, of the
// dispatcher and of makeModule are intptr_t, so that the addresses answered
// by host opcode 7 and by dispatcher opcode 13 survive. On 32-bit builds
// intptr_t is the host's int.
//
// No <windows.h> here: the calling conventions come from compiler attributes.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
// The host calls a module's process routine like a member routine: the
// instance in ECX, the arguments on the stack, callee cleans up.
#define SE_THISCALL __attribute__((thiscall))
#else
// Everywhere else a member routine is called like a plain C routine with the
// instance as its first argument.
#define SE_THISCALL
#endif

#if defined(_WIN32)
#define SE_EXPORT extern "C" __declspec(dllexport)
#else
#define SE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Pin directions.
enum : int32_t { DR_IN = 0, DR_OUT = 1, DR_SETTING = 3 };

// Pin data types (SEPin::m_datatype). Codes 3 and 7 are unused.
enum : int32_t {
  DT_CHOICE = 0,       // 16-bit index into the pin's list text
  DT_STRING = 1,       // text kept by the host
  DT_MIDI_STREAM = 2,  // no value; MIDI arrives as EV_MIDI events
  DT_SWITCH = 4,       // 8-bit on/off
  DT_FSAMPLE = 5,      // pointer to the block's 32-bit float samples
  DT_FLOAT32 = 6,      // 32-bit float
  DT_INT32 = 8,        // 32-bit int
};

// Pin flags (SEPinProperties::flags).
enum : int32_t {
  IO_REPEAT_LAST = 0x8,         // the last declared pin stands for all further host pins
  IO_FILE_NAME = 0x10,          // a text pin holding a file name
  IO_PRIVATE = 0x100,           // hidden from the patch designer
  IO_UI_COMMUNICATION = 0x400,  // carries data between the GUI and processing objects
  IO_UI_DUAL = 0x8000,          // a UI-communication pin that also gets a processing-side SEPin
  IO_PATCH_STORE = 0x10000,     // the value is saved with the patch
};

// Event types (SEEventRecord::type).
enum : int32_t {
  EV_PIN_STATUS = 0,
  EV_MIDI = 2,
  EV_CALL_MEMBER = 3,     // revision 2020: pointer field is a heap record {object, routine}
  EV_CALL_FUNCTION = 21,  // revision 2230: pointer field is the code address of a member routine
};

// Pin status values carried by EV_PIN_STATUS and sent with SEPin::SendStatus.
enum : int32_t {
  ST_STOP = 0,     // initial value: no change under way
  ST_ONE_OFF = 1,  // changed once and now holds; an input falls back to 0 after notification
  ST_RUN = 2,      // changes from sample to sample (a running signal)
};

inline constexpr int32_t SE_MODULE_MAGIC = 0x5345504C;  // bytes 4C 50 45 53 in memory
inline constexpr int32_t SE_GUI_MAGIC = 0x5345504D;     // bytes 4D 50 45 53 in memory

struct SEModuleRecord;
struct SEEventRecord;

// The host function every processing object calls: (its own record, opcode,
// index, value, data, opt). Unused arguments are 0. See host_opcodes.h.
using HostCallback = intptr_t (*)(SEModuleRecord* record, int32_t opcode, int32_t index,
                                  int32_t value, void* data, float opt);

// Record entries. The dispatcher and event entries are plain C routines; the
// process entry is a member routine of the instance (SE_THISCALL).
using SEDispatcherEntry = intptr_t (*)(SEModuleRecord* record, int32_t opcode, int32_t index,
                                       int32_t value, void* data, float opt);
using SEEventEntry = void (*)(void* instance, SEEventRecord* event);
using SEProcessEntry = void(SE_THISCALL*)(void* instance, int32_t buffer_offset,
                                          int32_t sample_count);

// Written by the plug-in's getModuleProperties into a record the host owns.
// Texts are owned by the plug-in and stay valid while the library is loaded.
struct SEModuleProperties {
  const char* name;      // display name
  const char* id;        // unique identifier
  const char* about;     // about text
  void* reserved;        // never written
  int32_t flags;         // 384 (0x80 | 0x100) in modules with a GUI object; else not written
  int32_t sdk_revision;  // 2230 or 2020
};

// The processing instance's record. Embedded in the instance and living
// exactly as long as it (makeModule until dispatcher opcode 1); the host keeps
// a pointer to it and reaches the instance only through it.
struct SEModuleRecord {
  int32_t magic;                 // SE_MODULE_MAGIC
  int32_t version;               // 1
  intptr_t host_word;            // fourth argument of makeModule; never read by the plug-in
  void* instance;                // the processing instance containing this record
  int32_t reserved0;             // 0
  SEDispatcherEntry dispatcher;  // forwards to the instance's Dispatch
  SEProcessEntry process;        // the current process routine; re-read by the host on opcode 22
  SEEventEntry event;            // forwards to the instance's OnEvent
  int32_t reserved1[4];          // 0
};

// One pin of the module's pin list, answered by GetPinProperties. The caller
// clears all fields before every query. Texts are owned by the plug-in.
struct SEPinProperties {
  void* variable_address;      // module field holding the pin's value, or null
  int32_t direction;           // DR_IN, DR_OUT or DR_SETTING
  int32_t datatype;            // DT_*
  const char* name;            // pin name
  const char* default_value;   // default value as text, or null
  const char* datatype_extra;  // list text ("a,b", "on=1,off=0", "range: lo,hi") or file filter
  int32_t flags;               // IO_* bits
  int32_t reserved;            // stays 0
};

// An event delivered to (or posted by) an instance. The host owns the
// records it delivers; a posted record lives only during the posting call.
struct SEEventRecord {
  uint32_t time_stamp;  // sample clock at which the event falls
  int32_t type;         // EV_*
  int32_t int_value;    // status (EV_PIN_STATUS) or packed MIDI message (EV_MIDI)
  int32_t int_value2;   // EV_MIDI: low 16 bits are the extra value
  intptr_t ptr;         // EV_PIN_STATUS: pin index; call events: routine (see EV_*)
  SEEventRecord* next;  // 0 in every posted event
};

// The answer to dispatcher opcode 13 (revision 2230): one record per library,
// rewritten by every such call and read by the host right after it.
struct SEProcessReferenceAnswer {
  int32_t one;          // 1
  int32_t size;         // byte size of the stored process-routine reference
  const void* address;  // address of that stored reference inside the instance
  int32_t zero;         // 0
};

#if defined(_WIN32) && !defined(_WIN64)
#include <cstddef>
static_assert(sizeof(SEModuleProperties) == 24);
static_assert(offsetof(SEModuleProperties, name) == 0);
static_assert(offsetof(SEModuleProperties, id) == 4);
static_assert(offsetof(SEModuleProperties, about) == 8);
static_assert(offsetof(SEModuleProperties, reserved) == 12);
static_assert(offsetof(SEModuleProperties, flags) == 16);
static_assert(offsetof(SEModuleProperties, sdk_revision) == 20);

static_assert(sizeof(SEModuleRecord) == 48);
static_assert(offsetof(SEModuleRecord, magic) == 0);
static_assert(offsetof(SEModuleRecord, version) == 4);
static_assert(offsetof(SEModuleRecord, host_word) == 8);
static_assert(offsetof(SEModuleRecord, instance) == 12);
static_assert(offsetof(SEModuleRecord, reserved0) == 16);
static_assert(offsetof(SEModuleRecord, dispatcher) == 20);
static_assert(offsetof(SEModuleRecord, process) == 24);
static_assert(offsetof(SEModuleRecord, event) == 28);
static_assert(offsetof(SEModuleRecord, reserved1) == 32);

static_assert(sizeof(SEPinProperties) == 32);
static_assert(offsetof(SEPinProperties, variable_address) == 0);
static_assert(offsetof(SEPinProperties, direction) == 4);
static_assert(offsetof(SEPinProperties, datatype) == 8);
static_assert(offsetof(SEPinProperties, name) == 12);
static_assert(offsetof(SEPinProperties, default_value) == 16);
static_assert(offsetof(SEPinProperties, datatype_extra) == 20);
static_assert(offsetof(SEPinProperties, flags) == 24);
static_assert(offsetof(SEPinProperties, reserved) == 28);

static_assert(sizeof(SEEventRecord) == 24);
static_assert(offsetof(SEEventRecord, time_stamp) == 0);
static_assert(offsetof(SEEventRecord, type) == 4);
static_assert(offsetof(SEEventRecord, int_value) == 8);
static_assert(offsetof(SEEventRecord, int_value2) == 12);
static_assert(offsetof(SEEventRecord, ptr) == 16);
static_assert(offsetof(SEEventRecord, next) == 20);

static_assert(sizeof(SEProcessReferenceAnswer) == 16);
#endif
