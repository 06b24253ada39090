// Small helpers for driving the substitute host's API interface as the
// plug-in does: each call checks S_OK and status 0, copies the answer and
// frees the host's blocks.
#ifndef GRIDWRIGHT_TESTS_SUBSTITUTE_API_HELPERS_H
#define GRIDWRIGHT_TESTS_SUBSTITUTE_API_HELPERS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/winapi.h"
#include "substitute/substitute_host.h"

namespace gw::substitute::testing {

class ApiTest : public ::testing::Test {
 protected:
  ApiTest() : host(store), api(host.Api()) {}

  int32_t GetInt(ObjectId doc, ObjectId object, int32_t code) {
    PropIdent ident{code, nullptr};
    int32_t status = -1;
    int32_t value = 0;
    EXPECT_EQ(api->GetIntProp(doc, object, &ident, &status, &value), S_OK);
    EXPECT_EQ(status, 0) << "GetIntProp " << code;
    return value;
  }
  Metric GetMetric(ObjectId doc, ObjectId object, int32_t code) {
    PropIdent ident{code, nullptr};
    int32_t status = -1;
    Metric value = 0;
    EXPECT_EQ(api->GetMetricProp(doc, object, &ident, &status, &value), S_OK);
    EXPECT_EQ(status, 0) << "GetMetricProp " << code;
    return value;
  }
  ObjectId GetId(ObjectId doc, ObjectId object, int32_t code) {
    PropIdent ident{code, nullptr};
    int32_t status = -1;
    ObjectId value = 0;
    EXPECT_EQ(api->GetIdProp(doc, object, &ident, &status, &value), S_OK);
    EXPECT_EQ(status, 0) << "GetIdProp " << code;
    return value;
  }
  std::string GetString(ObjectId doc, ObjectId object, int32_t code) {
    PropIdent ident{code, nullptr};
    int32_t status = -1;
    char* value = nullptr;
    EXPECT_EQ(api->GetStringProp(doc, object, &ident, &status, &value), S_OK);
    EXPECT_EQ(status, 0) << "GetStringProp " << code;
    std::string copy = value != nullptr ? value : "";
    CoTaskMemFree(value);
    return copy;
  }
  std::vector<int32_t> GetInts(ObjectId doc, ObjectId object, int32_t code) {
    PropIdent ident{code, nullptr};
    int32_t status = -1;
    IntList value{0, nullptr};
    EXPECT_EQ(api->GetIntsProp(doc, object, &ident, &status, &value), S_OK);
    EXPECT_EQ(status, 0) << "GetIntsProp " << code;
    std::vector<int32_t> copy(value.values, value.values + value.count);
    CoTaskMemFree(value.values);
    return copy;
  }
  // Returns the host status.
  int32_t SetInt(ObjectId doc, ObjectId object, int32_t code, int32_t value) {
    PropIdent ident{code, nullptr};
    int32_t status = -1;
    EXPECT_EQ(api->SetIntProp(doc, object, &ident, value, &status), S_OK);
    return status;
  }
  int32_t SetId(ObjectId doc, ObjectId object, int32_t code, ObjectId value) {
    PropIdent ident{code, nullptr};
    int32_t status = -1;
    EXPECT_EQ(api->SetIdProp(doc, object, &ident, value, &status), S_OK);
    return status;
  }
  int32_t SetString(ObjectId doc, ObjectId object, int32_t code, const char* value) {
    PropIdent ident{code, nullptr};
    int32_t status = -1;
    EXPECT_EQ(api->SetStringProp(doc, object, &ident, value, &status), S_OK);
    return status;
  }
  int32_t SetSelection(ObjectId doc, TextRange range) {
    PropIdent ident{kPropSelection, nullptr};
    int32_t status = -1;
    EXPECT_EQ(api->SetTextRangeProp(0, doc, &ident, &range, &status), S_OK);
    return status;
  }
  // The joined kind-1 items of a paragraph's whole text.
  std::string ParagraphText(ObjectId doc, ObjectId paragraph) {
    TextRange range{{paragraph, 0}, {paragraph, kTextOffsetEnd}};
    int32_t status = -1;
    TextItemList items{0, nullptr};
    EXPECT_EQ(api->GetText(doc, &range, kGetTextStrings, &status, &items), S_OK);
    EXPECT_EQ(status, 0);
    std::string text;
    for (uint32_t i = 0; i < items.count; ++i) {
      if (items.items[i].kind == kTextItemString) {
        text += items.items[i].u.string;
        CoTaskMemFree(items.items[i].u.string);
      }
    }
    CoTaskMemFree(items.items);
    return text;
  }
  TextLoc AddText(ObjectId doc, TextLoc at, const char* text) {
    int32_t status = -1;
    TextLoc end{0, 0};
    EXPECT_EQ(api->AddText(doc, &at, text, &status, &end), S_OK);
    EXPECT_EQ(status, 0);
    return end;
  }
  ObjectId Named(ObjectId doc, int32_t type, const char* name) {
    int32_t status = -1;
    ObjectId id = 0;
    EXPECT_EQ(api->GetNamedObject(doc, type, name, &status, &id), S_OK);
    EXPECT_EQ(status, 0);
    return id;
  }
  // Row ids of a table through 1338 and 1245.
  std::vector<ObjectId> Rows(ObjectId doc, ObjectId table) {
    std::vector<ObjectId> rows;
    for (ObjectId row = GetId(doc, table, kPropFirstRow); row != 0; row = GetId(doc, row, kPropNextRow)) {
      rows.push_back(row);
    }
    return rows;
  }
  // The text of each row's first cell.
  std::vector<std::string> FirstColumn(ObjectId doc, ObjectId table) {
    std::vector<std::string> texts;
    for (ObjectId row : Rows(doc, table)) {
      ObjectId cell = GetId(doc, row, kPropFirstCell);
      texts.push_back(ParagraphText(doc, GetId(doc, cell, kPropFirstParagraph)));
    }
    return texts;
  }

  MemoryFileStore store;
  SubstituteHost host;
  IFrameMakerApi* api;
};

}  // namespace gw::substitute::testing

#endif  // GRIDWRIGHT_TESTS_SUBSTITUTE_API_HELPERS_H
