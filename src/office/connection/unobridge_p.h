#pragma once

// The UNO side of the LibreOffice layer. Only the layer's own sources include this header;
// no UNO type reaches the rest of the program.

#include <QString>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

#include <string>

namespace tessivane {

namespace css = ::com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

/// MacroExecutionMode NEVER_EXECUTE: no macro of a document ever runs.
constexpr sal_Int16 kNeverExecuteMacros = 0;

rtl::OUString toOUString(const QString& text);
QString toQString(const rtl::OUString& text);

/// The file URL of a local path, made absolute.
rtl::OUString fileUrl(const QString& path);

/// An exception text from a sentence for the user.
std::string Sentence(const QString& text);

css::beans::PropertyValue Property(const char* name, const Any& value);

} // namespace tessivane
