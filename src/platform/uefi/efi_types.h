// The few firmware and shell interfaces the UEFI provider uses, declared here
// so that the program needs no firmware headers. Members the provider never
// calls are kept as opaque pointers only to hold the table layout.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define EFIAPI __attribute__((ms_abi))

namespace efi {

using Status = uint64_t;
using Handle = void*;
using ShellFileHandle = void*;
using Event = void*;

constexpr Status kSuccess = 0;
constexpr Status kErrorBit = 0x8000000000000000ull;
constexpr Status kLoadError = kErrorBit | 1;
constexpr Status kInvalidParameter = kErrorBit | 2;
constexpr Status kDeviceError = kErrorBit | 7;
constexpr Status kOutOfResources = kErrorBit | 9;
constexpr Status kAborted = kErrorBit | 21;

inline bool IsError(Status status) { return (status & kErrorBit) != 0; }

struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

struct TableHeader {
  uint64_t signature;
  uint32_t revision;
  uint32_t header_size;
  uint32_t crc32;
  uint32_t reserved;
};

struct SimpleTextOutput {
  void* reset;
  Status(EFIAPI* output_string)(SimpleTextOutput* self, const char16_t* text);
  void* test_string;
  void* query_mode;
  void* set_mode;
  Status(EFIAPI* set_attribute)(SimpleTextOutput* self, uint64_t attribute);
  Status(EFIAPI* clear_screen)(SimpleTextOutput* self);
  Status(EFIAPI* set_cursor_position)(SimpleTextOutput* self, uint64_t column, uint64_t row);
  void* enable_cursor;
  void* mode;
};

enum MemoryType : uint32_t { kLoaderData = 2 };

struct InputKey {
  uint16_t scan_code;
  char16_t unicode_char;
};

struct SimpleTextInput {
  void* reset;
  Status(EFIAPI* read_key_stroke)(SimpleTextInput* self, InputKey* key);
  Event wait_for_key;
};

struct BootServices {
  TableHeader header;
  void* raise_tpl;
  void* restore_tpl;
  void* allocate_pages;
  void* free_pages;
  void* get_memory_map;
  Status(EFIAPI* allocate_pool)(MemoryType type, uint64_t size, void** buffer);
  Status(EFIAPI* free_pool)(void* buffer);
  void* create_event;
  void* set_timer;
  Status(EFIAPI* wait_for_event)(uint64_t count, Event* events, uint64_t* index);
  void* signal_event;
  void* close_event;
  void* check_event;
  void* install_protocol_interface;
  void* reinstall_protocol_interface;
  void* uninstall_protocol_interface;
  Status(EFIAPI* handle_protocol)(Handle handle, const Guid* protocol, void** interface);
  void* reserved;
  void* register_protocol_notify;
  void* locate_handle;
  void* locate_device_path;
  void* install_configuration_table;
  void* load_image;
  void* start_image;
  void* exit;
  void* unload_image;
  void* exit_boot_services;
  void* get_next_monotonic_count;
  Status(EFIAPI* stall)(uint64_t microseconds);
  Status(EFIAPI* set_watchdog_timer)(uint64_t timeout, uint64_t code, uint64_t data_size,
                                     const char16_t* data);
  void* connect_controller;
  void* disconnect_controller;
  void* open_protocol;
  void* close_protocol;
  void* open_protocol_information;
  void* protocols_per_handle;
  void* locate_handle_buffer;
  Status(EFIAPI* locate_protocol)(const Guid* protocol, void* registration, void** interface);
};

struct SystemTable {
  TableHeader header;
  char16_t* firmware_vendor;
  uint32_t firmware_revision;
  Handle console_in_handle;
  SimpleTextInput* con_in;
  Handle console_out_handle;
  SimpleTextOutput* con_out;
  Handle standard_error_handle;
  SimpleTextOutput* std_err;
  void* runtime_services;
  BootServices* boot_services;
  uint64_t number_of_table_entries;
  void* configuration_table;
};

// Installed by the shell on the image handle of every application it starts.
struct ShellParameters {
  char16_t** argv;
  uint64_t argc;
  ShellFileHandle std_in;
  ShellFileHandle std_out;
  ShellFileHandle std_err;
};
constexpr Guid kShellParametersGuid = {
    0x752f3136, 0x4e16, 0x4fdc, {0xa2, 0x2a, 0xe5, 0xf4, 0x68, 0x12, 0xf4, 0xca}};

constexpr uint64_t kFileModeRead = 0x1;
constexpr uint64_t kFileModeWrite = 0x2;

// The shell's file services; relative names resolve against the shell's
// current directory, which the firmware's file protocol alone does not know.
struct Shell {
  void* execute;
  void* get_env;
  void* set_env;
  void* get_alias;
  void* set_alias;
  void* get_help_text;
  void* get_device_path_from_map;
  void* get_map_from_device_path;
  void* get_device_path_from_file_path;
  void* get_file_path_from_device_path;
  void* set_map;
  void* get_cur_dir;
  void* set_cur_dir;
  void* open_file_list;
  void* free_file_list;
  void* remove_dup_in_file_list;
  uint8_t(EFIAPI* batch_is_active)();
  void* is_root_shell;
  void* enable_page_break;
  void* disable_page_break;
  void* get_page_break;
  void* get_device_name;
  // An EFI_FILE_INFO from the pool, or null; the caller frees it.
  void*(EFIAPI* get_file_info)(ShellFileHandle file);
  Status(EFIAPI* set_file_info)(ShellFileHandle file, const void* info);
  Status(EFIAPI* open_file_by_name)(const char16_t* name, ShellFileHandle* file, uint64_t mode);
  Status(EFIAPI* close_file)(ShellFileHandle file);
  Status(EFIAPI* create_file)(const char16_t* name, uint64_t attributes, ShellFileHandle* file);
  Status(EFIAPI* read_file)(ShellFileHandle file, uint64_t* size, void* buffer);
  Status(EFIAPI* write_file)(ShellFileHandle file, uint64_t* size, void* buffer);
  void* delete_file;
  Status(EFIAPI* delete_file_by_name)(const char16_t* name);
  Status(EFIAPI* get_file_position)(ShellFileHandle file, uint64_t* position);
  Status(EFIAPI* set_file_position)(ShellFileHandle file, uint64_t position);
  Status(EFIAPI* flush_file)(ShellFileHandle file);
  void* find_files;
  void* find_files_in_dir;
  Status(EFIAPI* get_file_size)(ShellFileHandle file, uint64_t* size);
};
constexpr Guid kShellGuid = {
    0x6302d008, 0x7f9b, 0x4f30, {0x87, 0xac, 0x60, 0xc9, 0xfe, 0xf5, 0xda, 0x4e}};

}  // namespace efi
