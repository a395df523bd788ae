// A record property's getter as a plain C function of the interpreter.
//
// pybind11 calls a getter through its general dispatcher (an instance
// method wrapping a function that matches arguments against overloads),
// which costs more than most reads themselves: a full walk of a parsed file
// spent about 60 ns a read there. The getter made here reads the record
// straight from the pybind11 instance and converts the field the same way
// (the same casters, the same return policy, the same parent for views), and
// hands every case it does not expect (another type, a subclass, an instance
// that holds no record) to pybind11's own getter, so errors stay exactly
// what they were.
#pragma once

#include <pybind11/pybind11.h>

#include <exception>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

namespace tolvane::detail {

// A converted value as a Python object: Python objects as they are, C++
// values through their pybind11 caster.
template <class Value>
pybind11::object as_object(Value&& value) {
    if constexpr (std::is_base_of_v<pybind11::handle, std::remove_cvref_t<Value>>) {
        return std::forward<Value>(value);
    } else {
        return pybind11::cast(std::forward<Value>(value));
    }
}

template <class Record, class Convert>
class FastGetter {
public:
    FastGetter(pybind11::handle record_type, pybind11::object pybind11_getter, std::string doc,
               Convert convert)
        : type_(reinterpret_cast<PyTypeObject*>(record_type.ptr())),
          fallback_(std::move(pybind11_getter)),
          doc_(std::move(doc)),
          convert_(std::move(convert)) {
        definition_.ml_name = "";
        definition_.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&FastGetter::get));
        definition_.ml_flags = METH_O;
        definition_.ml_doc = doc_.c_str();
    }

    FastGetter(const FastGetter&) = delete;
    FastGetter& operator=(const FastGetter&) = delete;

    // A builtin function of one argument that owns this getter through a
    // capsule, which is also what the interpreter passes it as `self`.
    static pybind11::object make_function(std::unique_ptr<FastGetter> getter) {
        PyMethodDef* definition = &getter->definition_;
        pybind11::capsule owner(getter.get(),
                                [](void* pointer) { delete static_cast<FastGetter*>(pointer); });
        getter.release();
        PyObject* function = PyCFunction_New(definition, owner.ptr());
        if (function == nullptr) {
            throw pybind11::error_already_set();
        }
        return pybind11::reinterpret_steal<pybind11::object>(function);
    }

private:
    static PyObject* get(PyObject* owner, PyObject* self) {
        const auto* getter = static_cast<const FastGetter*>(PyCapsule_GetPointer(owner, nullptr));
        if (getter == nullptr) {
            return nullptr;
        }
        const Record* record = getter->record_in(self);
        if (record == nullptr) {
            return PyObject_CallOneArg(getter->fallback_.ptr(), self);
        }
        try {
            return getter->convert_(*record, pybind11::handle(self)).release().ptr();
        } catch (pybind11::error_already_set& error) {
            error.restore();
        } catch (pybind11::builtin_exception& error) {
            error.set_error();
        } catch (const std::exception& error) {
            PyErr_SetString(PyExc_RuntimeError, error.what());
        }
        return nullptr;
    }

    // The record an instance of exactly this class holds; null for anything
    // else, which the pybind11 getter then answers.
    const Record* record_in(PyObject* self) const {
        if (Py_TYPE(self) != type_) {
            return nullptr;
        }
        const auto* instance = reinterpret_cast<const pybind11::detail::instance*>(self);
        if (!instance->simple_layout) {
            return nullptr;
        }
        return static_cast<const Record*>(instance->simple_value_holder[0]);
    }

    PyMethodDef definition_{};
    PyTypeObject* type_;  // borrowed: the class holds the property that holds this
    pybind11::object fallback_;
    std::string doc_;
    Convert convert_;
};

// Replaces the getter of the property `name` that pybind11 has just made on
// `cls` with a fast one, keeping the property's place in the class, its
// documentation and the getter's signature text.
template <class Record, class Convert>
void speed_up_getter(pybind11::class_<Record>& cls, const char* name, Convert convert) {
    const pybind11::object made = cls.attr(name);
    pybind11::object pybind11_getter = made.attr("fget");
    std::string signature = pybind11::str(pybind11_getter.attr("__doc__"));
    auto getter = std::make_unique<FastGetter<Record, Convert>>(cls, std::move(pybind11_getter),
                                                                std::move(signature), std::move(convert));
    pybind11::object fget = FastGetter<Record, Convert>::make_function(std::move(getter));
    const pybind11::handle property_type(reinterpret_cast<PyObject*>(&PyProperty_Type));
    cls.attr(name) = property_type(fget, pybind11::none(), pybind11::none(), made.attr("__doc__"));
}

}  // namespace tolvane::detail
