#pragma once
// Undo and redo.  Every change an editing function makes is recorded as undo records, one group per
// user action, on a per-Document stack; undoing a group moves it, inverted, onto the redo stack.
//
// Records are Nodes of the pool, hung from the Document's undo anchor (its `link` is the top of the
// undo stack, its `next` the top of the redo stack).  A record's `next` is the record below it; bits 4-5
// of its `kind` byte say created (1), modified (2) or deleted (3), and bit 3 marks every record of a
// group but the first one written.
//  - created: `link` is the Item;
//  - modified: `link` is the Item, `prev` its saved `link`, and the kind bits, `layer`, `size` and the
//    five payload words hold the Item's fields as they were;
//  - deleted: the record is the removed Item itself, out of every ring, with `prev` the Node that
//    followed it, so that it goes back to the same place.
//
// A caller that changes an Item's `link` after RecordModified (a new text chain, a new Signal, a new
// Parameters chain on a Component's member ring head) must leave the old chain to the record: undo swaps
// the two back.
#include <cstdint>

#include "edit/area.h"
#include "model/model.h"

namespace trazel {
struct App;
}

namespace trazel::display {
struct Display;
}

namespace trazel::edit {

using model::Ref;

enum RecordKind : uint8_t { kRecordCreated = 1, kRecordModified = 2, kRecordDeleted = 3 };
constexpr uint8_t kRecordContinued = 0x08;

// --- Recording (`number` is the record's place in its group: 0 opens a new group) ------------------
// Each first empties the Document's redo stack.  They return 0 when no record could be made (the pool
// is exhausted); the change itself is the caller's and goes ahead.
int RecordCreated(model::Document& doc, Ref item, int number);
int RecordModified(model::Document& doc, Ref item, int number);
// Unlinks the Item and keeps it as the record; returns the Node that followed it.
Ref RecordDeleted(model::Document& doc, Ref item, int number);

// Before an Item is destroyed outside undo (a new Item abandoned with a grab): no record names it any
// more, and a deleted record that would go back in front of it goes in front of its successor instead.
void ForgetItem(model::Document& doc, Ref item);

// --- Stacks ------------------------------------------------------------------------------------------
bool has_undo(const model::Document& doc);
bool has_redo(const model::Document& doc);
// Groups on each stack.
int undo_groups(const model::Document& doc);
int redo_groups(const model::Document& doc);

// Undoes (redoes) one group, or every group with `all`; the area the changes cover is redrawn on `d`
// when given.  Returns the number of groups done (0 with an empty stack).  A Document changed by them
// is marked modified.
int undo(model::Document& doc, display::Display* d, bool all = false);
int redo(model::Document& doc, display::Display* d, bool all = false);

// Empties a stack, freeing its records (a deleted record frees the Item it holds, members and all).
int purge_undo(model::Document& doc);
int purge_redo(model::Document& doc);
// Frees both stacks and the anchor: before the Document is closed.
void release_undo(model::Document& doc);

// The confirmations, word for word.
constexpr const char* kUndoPurgeTitle = "Un-Do Purge";
constexpr const char* kRedoPurgeTitle = "Re-Do Purge";
constexpr const char* kUndoPurgeText = "Are You Sure?\n\nPurging the Un-Do stack cannot be un-done.\nAll data will be lost.";
constexpr const char* kRedoPurgeText = "Are You Sure?\n\nPurging the Re-Do stack cannot be un-done.\nAll data will be lost.";
constexpr const char* kRedoPurgeNotice =
    "Activating this function will effect an auto-purge\nof all items and commands in the Re-Do stack.\n\nPurging the "
    "Re-Do stack cannot be un-done and\nall Re-Do information will be lost.\n\nDo you wish to continue?";

} // namespace trazel::edit
