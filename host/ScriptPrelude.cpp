#include "host/ScriptPrelude.h"

#include <cstring>
#include <mutex>
#include <string>

#include "host/ScriptHeap.h"

namespace ferrolift::host {

namespace {

// Kept in ES5: the engine runs ES5 with a few later additions.
const char kPrelude[] = R"JS(function (host) {
"use strict";

function ValueList(values) {
  this._values = values;
  this.Count = values.length;
}
ValueList.prototype.Item = function (index) {
  if (index === undefined) return String(this);
  return this._values[index - 1];
};
ValueList.prototype.toString = function () {
  return this._values.length ? this._values.join(", ") : "undefined";
};
ValueList.prototype.valueOf = ValueList.prototype.toString;

function makeCollection(kind) {
  // The host keeps each collection per page; these functions serve every page.
  function load() { return host.collection(kind); }
  function collection(key) {
    var data = load();
    if (key === undefined) return host.collectionText(kind);
    if (typeof key === "number") return new ValueList(data.values[key - 1] || []);
    var wanted = String(key).toLowerCase();
    for (var i = 0; i < data.names.length; i++) {
      if (data.names[i].toLowerCase() === wanted) return new ValueList(data.values[i]);
    }
    return new ValueList([]);
  }
  collection.Item = collection;
  collection.Key = function (index) { return load().names[index - 1]; };
  collection.toString = function () { return host.collectionText(kind); };
  Object.defineProperty(collection, "Count", { get: function () { return load().names.length; } });
  Object.defineProperty(collection, "__keys", { value: function () { return load().names.slice(); } });
  return collection;
}

var Request = {
  BinaryRead: function (count) { return host.binaryRead(count); },
  QueryString: makeCollection(0),
  Form: makeCollection(1),
  ServerVariables: makeCollection(2)
};
Object.defineProperty(Request, "TotalBytes", { get: function () { return host.totalBytes(); }, enumerable: true });

var Response = {
  Write: function (text) { host.write(text); },
  BinaryWrite: function (bytes) { host.binaryWrite(bytes); },
  AddHeader: function (name, value) { host.addHeader(String(name), String(value)); },
  Redirect: function (url) { host.redirect(String(url)); },
  End: function () { host.end(); },
  Clear: function () { host.clear(); },
  Flush: function () { host.flush(); },
  Buffer: true
};
["ContentType", "Charset", "Status"].forEach(function (name) {
  Object.defineProperty(Response, name, {
    get: function () { return host.responseGet(name); },
    set: function (value) { host.responseSet(name, String(value)); },
    enumerable: true
  });
});

var Server = {
  CreateObject: function (progId) { return host.createObject(String(progId)); },
  MapPath: function (path) { return host.mapPath(path === undefined ? "" : String(path)); },
  HTMLEncode: function (text) {
    return String(text === undefined || text === null ? "" : text).replace(/&/g, "&amp;").replace(/</g, "&lt;")
      .replace(/>/g, "&gt;").replace(/"/g, "&quot;");
  },
  URLEncode: function (text) {
    return encodeURIComponent(String(text === undefined || text === null ? "" : text)).replace(/%20/g, "+")
      .replace(/[!'()*~]/g, function (c) { return "%" + c.charCodeAt(0).toString(16).toUpperCase(); });
  }
};
Object.defineProperty(Server, "ScriptTimeout", {
  get: function () { return host.scriptTimeout(); },
  set: function (seconds) { host.scriptTimeout(Number(seconds)); },
  enumerable: true
});

function Enumerator(collection) {
  if (!(this instanceof Enumerator)) return new Enumerator(collection);
  if (collection === undefined || collection === null) {
    this._items = [];
  } else if (typeof collection.__keys === "function") {
    this._items = collection.__keys();
  } else if (collection instanceof Array) {
    this._items = collection.slice();
  } else {
    this._native = host.enumerate(collection);
  }
  this.moveFirst();
}
Enumerator.prototype.atEnd = function () {
  return this._native ? host.enumAtEnd(this._native) : this._index >= this._items.length;
};
Enumerator.prototype.item = function () {
  return this._native ? host.enumItem(this._native) : this._items[this._index];
};
Enumerator.prototype.moveNext = function () {
  if (this._native) host.enumNext(this._native); else this._index++;
};
Enumerator.prototype.moveFirst = function () {
  if (this._native) host.enumReset(this._native); else this._index = 0;
};

// Shared by the pages of a heap, so frozen through and through (built-ins, already
// locked, are not extensible and end the walk).
function lock(o) {
  if (o === null || (typeof o !== "object" && typeof o !== "function") || !Object.isExtensible(o)) return;
  Object.freeze(o);
  Reflect.ownKeys(o).forEach(function (k) {
    var d = Object.getOwnPropertyDescriptor(o, k);
    if ("value" in d) lock(d.value); else { lock(d.get); lock(d.set); }
  });
  lock(Object.getPrototypeOf(o));
}
var objects = { Request: Request, Response: Response, Server: Server, Enumerator: Enumerator };
lock(objects);
return objects;
})JS";

// Compiles the prelude to bytecode in a heap of its own; empty when that fails.
duk_ret_t DumpPrelude(duk_context* inContext, void* inUserData)
{
    duk_push_string(inContext, kPreludeName);
    duk_compile_lstring_filename(inContext, DUK_COMPILE_FUNCTION | DUK_COMPILE_STRICT, kPrelude, std::strlen(kPrelude));
    duk_dump_function(inContext);
    duk_size_t theSize = 0;
    const auto* theBytes = static_cast<const char*>(duk_get_buffer(inContext, -1, &theSize));
    static_cast<std::string*>(inUserData)->assign(theBytes, theSize);
    return 0;
}

// The prelude's bytecode, compiled once per process; each new heap loads it, which
// costs a fraction of compiling it.
const std::string& PreludeBytecode()
{
    static std::once_flag sOnce;
    static std::string sBytecode;
    std::call_once(sOnce, [] {
        ScriptHeap theHeap(nullptr);
        if (theHeap.Valid() && duk_safe_call(theHeap.Context(), DumpPrelude, &sBytecode, 0, 1) != DUK_EXEC_SUCCESS)
            sBytecode.clear();
    });
    return sBytecode;
}

duk_ret_t LoadPrelude(duk_context* inContext, void*)
{
    const std::string& theBytecode = PreludeBytecode();
    duk_push_external_buffer(inContext);
    duk_config_buffer(inContext, -1, const_cast<char*>(theBytecode.data()), theBytecode.size());
    duk_load_function(inContext);
    return 1;
}

}  // namespace

bool PushPrelude(duk_context* inContext)
{
    if (PreludeBytecode().empty()) {
        duk_push_error_object(inContext, DUK_ERR_ERROR, "the page prelude does not compile");
        return false;
    }
    return duk_safe_call(inContext, LoadPrelude, nullptr, 0, 1) == DUK_EXEC_SUCCESS;
}

}  // namespace ferrolift::host
