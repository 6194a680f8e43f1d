// The keys and types a scripted catalogue may hold, as a JSON Schema. Each
// schema's "errors" gives, by failing keyword, the text a reader is shown;
// under "required" it is the text for the member when it is missing.
#pragma once

namespace dravo::host {

inline constexpr const char* kCatalogueSchema = R"json({
  "definitions": {
    "text": {"type": "string", "errors": {"type": "expected a string"}},
    "integer": {"type": "integer", "errors": {"type": "expected an integer",
                                              "required": "expected an integer"}},
    "texts": {"type": "array", "items": {"$ref": "#/definitions/text"},
              "errors": {"type": "expected an array of strings"}},
    "name": {"type": "string", "errors": {"type": "expected a string",
                                          "required": "missing, a string is required"}},
    "throw": {
      "type": "object", "errors": {"type": "expected an object"},
      "additionalProperties": false, "required": ["kind"],
      "properties": {
        "kind": {"type": "string", "enum": ["standard", "other"],
                 "errors": {"type": "expected a string",
                            "enum": "expected \"standard\" or \"other\"",
                            "required": "missing, a string is required"}},
        "message": {"$ref": "#/definitions/text"}
      }
    },
    "slot": {
      "type": "object", "errors": {"type": "expected an object"},
      "additionalProperties": false, "required": ["name"],
      "properties": {
        "name": {"$ref": "#/definitions/name"},
        "help": {"$ref": "#/definitions/text"},
        "type": {"type": "string",
                 "enum": ["bool", "integer", "float", "string", "choice", "vector3"],
                 "errors": {"type": "expected a string",
                            "enum": "expected bool, integer, float, string, choice or vector3"}},
        "value": {},
        "min": {"$ref": "#/definitions/integer"},
        "max": {"$ref": "#/definitions/integer"},
        "options": {"$ref": "#/definitions/texts"}
      }
    },
    "script": {
      "type": "object", "errors": {"type": "expected an object"},
      "additionalProperties": false, "required": ["id"],
      "properties": {
        "id": {"$ref": "#/definitions/integer"},
        "shortname": {"$ref": "#/definitions/text"},
        "description": {"$ref": "#/definitions/text"}
      }
    },
    "report": {
      "type": "object", "errors": {"type": "expected an object"},
      "additionalProperties": false, "required": ["kind"],
      "properties": {
        "kind": {"type": "string",
                 "enum": ["openingFile", "tryLoader", "progress", "message", "notice",
                          "abort_on_issue"],
                 "errors": {"type": "expected a string",
                            "enum": "expected openingFile, tryLoader, progress, message, notice or abort_on_issue",
                            "required": "missing, a string is required"}},
        "text": {"$ref": "#/definitions/text"},
        "done": {"$ref": "#/definitions/integer"},
        "total": {"$ref": "#/definitions/integer"}
      }
    },
    "conversion": {
      "type": "object", "errors": {"type": "expected an object"},
      "additionalProperties": false,
      "properties": {
        "write": {"type": "string", "enum": ["all", "some", "none"],
                  "errors": {"type": "expected a string",
                             "enum": "expected \"all\", \"some\" or \"none\""}},
        "content": {"$ref": "#/definitions/text"},
        "delay_ms": {"$ref": "#/definitions/integer"},
        "error": {"$ref": "#/definitions/text"},
        "progress": {"type": "array", "items": {"$ref": "#/definitions/report"},
                     "errors": {"type": "expected an array"}}
      }
    },
    "nutrition": {
      "type": "object", "errors": {"type": "expected an object"},
      "additionalProperties": false, "required": ["name"],
      "properties": {
        "name": {"type": "string", "minLength": 1,
                 "errors": {"type": "expected a string", "minLength": "must not be empty",
                            "required": "missing, a string is required"}},
        "description": {"$ref": "#/definitions/text"},
        "input_extensions": {"$ref": "#/definitions/texts"},
        "output_extensions": {"$ref": "#/definitions/texts"},
        "genres": {"$ref": "#/definitions/texts"},
        "slots": {"type": "array", "items": {"$ref": "#/definitions/slot"},
                  "errors": {"type": "expected an array"}},
        "output_scripts": {"type": "array", "items": {"$ref": "#/definitions/script"},
                           "errors": {"type": "expected an array"}},
        "quick_info": {"$ref": "#/definitions/text"},
        "analysis": {
          "type": "object", "errors": {"type": "expected an object"},
          "additionalProperties": false,
          "properties": {"log": {"$ref": "#/definitions/text"},
                         "text": {"$ref": "#/definitions/text"}}
        },
        "digestible": {"type": ["boolean", "array"], "items": {"$ref": "#/definitions/text"},
                       "errors": {"type": "expected true, false or an array of path suffixes"}},
        "predicted_outputs": {"$ref": "#/definitions/texts"},
        "conversion": {"$ref": "#/definitions/conversion"},
        "throws": {
          "type": "object", "errors": {"type": "expected an object"},
          "additionalProperties": false,
          "properties": {
            "quick_info": {"$ref": "#/definitions/throw"},
            "analyse": {"$ref": "#/definitions/throw"},
            "digestible": {"$ref": "#/definitions/throw"},
            "output_files": {"$ref": "#/definitions/throw"},
            "convert": {"$ref": "#/definitions/throw"}
          }
        }
      }
    }
  },
  "type": "object", "errors": {"type": "expected an object"},
  "additionalProperties": false, "required": ["nutritions"],
  "properties": {
    "comment": {},
    "nutritions": {"type": "array", "items": {"$ref": "#/definitions/nutrition"},
                   "errors": {"type": "expected an array", "required": "expected an array"}}
  }
})json";

}  // namespace dravo::host
