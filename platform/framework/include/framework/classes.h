// SPDX-License-Identifier: MIT
/// @file
/// Component base, bound handlers, published properties and the class registry.
///
/// Every component class describes its published properties ONCE, in declaration order, in a
/// static ClassInfo() function, and overrides GetClassInfo() to return it. Inherited properties
/// come first (TComponent publishes Name and Tag). The description drives the form reader and
/// writer (framework/streaming.h) and the virtual constructor (creation by class name).
///
/// @code{.cpp}
///   class TLamp : public TComponent {
///    public:
///     explicit TLamp(TComponent* AOwner) : TComponent(AOwner) {}
///     static const TClassInfo& ClassInfo();
///     const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
///
///     int GetWatts() const { return FWatts; }
///     void SetWatts(int Value) { FWatts = Value; }
///     bool IsLit() const;                      // read-only
///     TNotifyEvent OnSwitch;                   // event slot, read and written directly
///     void LampSwitch(TObject* Sender);        // a published method (handler target)
///     TColorKind FColor = ckRed;               // enumeration held in a field
///     unsigned short FFlags = 0;               // set of an enumeration held in 16 bits
///    private:
///     int FWatts = 0;
///   };
///
///   const TClassInfo& TLamp::ClassInfo() {
///     static const TClassInfo info = TClassInfo::Derived<TLamp, TComponent>("TLamp")
///         .Property("Watts", &TLamp::GetWatts, &TLamp::SetWatts)    // getter, setter
///         .Property("Lit", &TLamp::IsLit)                           // read-only
///         .Enum("Color", &TLamp::FColor, &TLamp::FColor, {"ckRed", "ckGreen"})  // field both ways
///         .Set("Flags", &TLamp::FFlags, &TLamp::FFlags, {"lfBlink", "lfDim"})
///         .Event("OnSwitch", &TLamp::OnSwitch)
///         .Method("LampSwitch", &TLamp::LampSwitch);
///     return info;
///   }
///   // once, e.g. in the library's registration routine:  RegisterClass<TLamp>();
/// @endcode
///
/// A read accessor is a member function (const or not) returning the value, or a data member of
/// the value's type or of std::atomic of it. A write accessor is a member function taking the
/// value (by value or const reference) or a data member. The value type decides the kind:
/// bool -> boolean, char -> character, other integers up to 32 bits (and signed 64) -> integer
/// with the type's range, std::string -> string, TStringItems -> string list, a pointer to a
/// component class -> a reference to another component of the same form (written by its name).
/// Published fields (Field()) are the root's pointers to the components it owns: the form reader
/// sets each when it creates the component of that name. Enumerations and
/// sets use Enum() and Set() with their member names (ordinal n = n-th name; set bit n = n-th
/// name). Every default is 0 (false, first enumerator, empty set, empty text, no handler) unless
/// Default() follows the property.
///
/// Threads: a component, its owner tree and its properties are used by one thread at a time, the
/// thread that owns them (normally the main thread); the class registry may be used from any
/// thread.
#pragma once

#include <framework/export.h>
#include <framework/sysutils.h>

#include <any>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <string>
#include <type_traits>
#include <typeindex>
#include <typeinfo>
#include <utility>
#include <vector>

class TComponent;
class TClassInfo;
template <class T>
class TClassBuilder;

/// Root of every framework class.
class COMM_FRAMEWORK_API TObject {
 public:
  virtual ~TObject() = default;
};

/// A component operation that cannot be done (duplicate or invalid name, unknown class, ...).
class COMM_FRAMEWORK_API EComponentError : public Exception {
 public:
  using Exception::Exception;
};

// ---- Bound handlers ---------------------------------------------------------------------------

/// A notification handler: a callable bound to its target (object + member function, or any
/// callable). Empty by default; calling an empty handler does nothing, so callers may still test
/// Assigned() first. When the form reader binds a handler to a published method it records the
/// method's name, which the form writer writes back.
template <class... Args>
class TBoundHandler {
 public:
  /// The callable a handler holds.
  using Function = std::function<void(Args...)>;

  TBoundHandler() = default;
  TBoundHandler(std::nullptr_t) {}  ///< implicit: allows `OnX = nullptr`

  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, TBoundHandler> &&
                                              std::is_invocable_v<F&, Args...>>>
  TBoundHandler(F&& call) : FCall(std::forward<F>(call)) {}  ///< implicit: assignable from a lambda

  /// A handler calling target->*method; Target() is target when it is a TObject.
  template <class Obj, class C>
  TBoundHandler(Obj* target, void (C::*method)(Args...))
      : FCall([target, method](Args... args) { (target->*method)(args...); }) {
    if constexpr (std::is_base_of_v<TObject, Obj>) FTarget = target;
  }

  /// A handler bound to a named published method of Target (used by the form reader).
  // NOLINTNEXTLINE(performance-unnecessary-value-param): MethodName is moved from below.
  static TBoundHandler Published(TObject* Target, std::string MethodName, Function Call) {
    TBoundHandler h;
    h.FCall = std::move(Call);
    h.FTarget = Target;
    h.FMethodName = std::move(MethodName);
    return h;
  }

  /// True when the handler holds a callable.
  bool Assigned() const { return static_cast<bool>(FCall); }
  /// Assigned().
  explicit operator bool() const { return Assigned(); }
  /// Calls the handler with args; does nothing when it is empty.
  void operator()(Args... args) const {
    if (FCall) FCall(args...);
  }
  /// Empties the handler.
  void Clear() { *this = TBoundHandler(); }

  /// The object the handler is bound to, or null (a lambda, or a target that is no TObject).
  TObject* Target() const { return FTarget; }
  /// Name of the published method this handler was bound to by name; empty otherwise.
  const std::string& MethodName() const { return FMethodName; }

 private:
  Function FCall;
  TObject* FTarget = nullptr;
  std::string FMethodName;
};

/// A handler taking only the sender: OnClick, OnClose, OnCTSSignal, ...
using TNotifyEvent = TBoundHandler<TObject*>;

// ---- Published properties ---------------------------------------------------------------------

/// The value of a string-list property, one text per line.
using TStringItems = std::vector<std::string>;

/// The kind of a published property: integer, boolean, enumeration, set, character, string,
/// string list, event (method) or component reference.
enum TTypeKind {
  tkInteger,
  tkBool,
  tkEnumeration,
  tkSet,
  tkChar,
  tkString,
  tkStringList,
  tkMethod,
  tkComponent
};

/// One published property. Accessors are type-erased over the object; an accessor left empty
/// means the property has none (a property without SetOrd/SetStr/... is read-only).
struct COMM_FRAMEWORK_API TPropInfo {
  /// The name as form descriptions spell it.
  std::string Name;
  /// The property's kind, which decides the accessors it has.
  TTypeKind Kind = tkInteger;
  long long MinValue = 0;          ///< inclusive range of an integer, enumeration or character
  long long MaxValue = 0;          ///< its upper bound (MinValue the lower)
  int SetBits = 0;                 ///< storage width of a set
  std::vector<std::string> Names;  ///< enumerator / set member names
  std::vector<std::pair<std::string, long long>> Idents;  ///< optional named integer values
  long long Default = 0;                                  ///< ordinal kinds
  std::type_index HandlerType = typeid(void);             ///< tkMethod: typeid(void(Args...))

  std::function<long long(TObject&)> GetOrd;  ///< integer, bool, enumeration, set, char
  /// Writes an ordinal value; empty for a read-only property.
  std::function<void(TObject&, long long)> SetOrd;
  std::function<std::string(TObject&)> GetStr;  ///< string
  /// Writes a string; empty for a read-only property.
  std::function<void(TObject&, const std::string&)> SetStr;
  std::function<TStringItems(TObject&)> GetList;  ///< string list
  /// Writes a string list; empty for a read-only property.
  std::function<void(TObject&, const TStringItems&)> SetList;
  std::function<bool(TObject&)> HandlerAssigned;     ///< event
  std::function<std::string(TObject&)> HandlerName;  ///< published method name or ""
  /// Binds an event to a published method named name of target.
  std::function<void(TObject&, std::any call, TObject* target, const std::string& name)>
      SetHandler;  // call holds std::function<void(Args...)>
  /// Empties an event.
  std::function<void(TObject&)> ClearHandler;
  std::function<TComponent*(TObject&)> GetComp;        ///< component reference
  std::function<void(TObject&, TComponent*)> SetComp;  ///< raises when of the wrong class

  /// True when the property has no writer for its kind (never written to a form description).
  bool ReadOnly() const;
};

/// A published method: a handler target that form descriptions refer to by name.
struct COMM_FRAMEWORK_API TMethodInfo {
  /// The name as form descriptions spell it.
  std::string Name;
  std::type_index Signature = typeid(void);  ///< typeid(void(Args...))
  /// Returns std::function<void(Args...)> bound to Self (which must be of the publishing class).
  std::function<std::any(TObject& Self)> Bind;
};

/// A published field: the owner's pointer to one of its components, found by the component's name.
struct COMM_FRAMEWORK_API TFieldInfo {
  /// The name as form descriptions spell it.
  std::string Name;
  std::string ClassName;  ///< the class the field points to
  /// Points the field of Self at Value (null clears it); raises EComponentError when Value is not
  /// of the field's class.
  std::function<void(TObject& Self, TComponent* Value)> Assign;
  std::function<TComponent*(TObject& Self)> Get;  ///< the component the field of Self points at
};

/// The description of one component class: name, parent class, published properties (inherited
/// first), fields and methods, and the virtual constructor.
class COMM_FRAMEWORK_API TClassInfo {
 public:
  /// Makes an instance owned by AOwner.
  using TFactory = std::function<TComponent*(TComponent* AOwner)>;

  /// The class name, "TCommPort".
  const std::string& Name() const { return FName; }
  /// The described parent class, null for TComponent.
  const TClassInfo* Parent() const { return FParent; }
  /// The published properties, inherited ones first, in declaration order.
  const std::vector<TPropInfo>& Properties() const { return FProperties; }
  /// The published fields, inherited ones first.
  const std::vector<TFieldInfo>& Fields() const { return FFields; }
  /// Lookups ignore ASCII case, as identifiers in form descriptions do.
  const TPropInfo* FindProperty(const std::string& Name) const;
  /// The published method of that name, or null.
  const TMethodInfo* FindMethod(const std::string& Name) const;
  /// The published field of that name, or null.
  const TFieldInfo* FindField(const std::string& Name) const;
  /// True when this class is Other or derives from it.
  bool InheritsFrom(const TClassInfo& Other) const;
  /// True when Create can make an instance (not abstract, has a (TComponent*) constructor).
  bool CanCreate() const { return static_cast<bool>(FFactory); }
  /// Virtual constructor: creates an instance owned by AOwner. Raises EComponentError when the
  /// class cannot be created (abstract, or no (TComponent*) constructor).
  TComponent* Create(TComponent* AOwner) const;

  /// Starts the description of T, derived from Base (Base's properties and methods are copied).
  template <class T, class Base>
  static TClassBuilder<T> Derived(std::string Name);
  /// Starts the description of a class with no described parent (used by TComponent).
  template <class T>
  static TClassBuilder<T> Root(std::string Name);

 protected:
  /// Appends Prop, or replaces the inherited property of the same name (redeclaration).
  void AddProperty(TPropInfo Prop);
  /// Appends a published method.
  void AddMethod(TMethodInfo Method);
  /// Appends a published field.
  void AddField(TFieldInfo Field);
  /// The property added or redeclared last (for Default and Idents).
  TPropInfo& LastProperty();

  /// Name().
  std::string FName;
  /// Parent().
  const TClassInfo* FParent = nullptr;
  /// Properties().
  std::vector<TPropInfo> FProperties;
  /// The published methods, inherited ones first (FindMethod).
  std::vector<TMethodInfo> FMethods;
  /// Fields().
  std::vector<TFieldInfo> FFields;
  std::size_t FLastProperty = 0;  ///< the property added or redeclared last
  /// The virtual constructor; empty when the class cannot be created.
  TFactory FFactory;
};

namespace framework_detail {
template <class V>
struct UnwrapAtomic {
  using type = V;
};
template <class V>
struct UnwrapAtomic<std::atomic<V>> {
  using type = V;
};
template <class T, class G>
using ValueOf = typename UnwrapAtomic<std::remove_cvref_t<std::invoke_result_t<G, T&>>>::type;

template <class T, class G>
auto Read(G getter, TObject& obj) {
  using V = ValueOf<T, G>;
  V value = std::invoke(getter, static_cast<T&>(obj));
  return value;
}
template <class T, class S, class V>
void Write(S setter, TObject& obj, const V& value) {
  if constexpr (std::is_member_object_pointer_v<S>) {
    std::invoke(setter, static_cast<T&>(obj)) = value;
  } else {
    std::invoke(setter, static_cast<T&>(obj), value);
  }
}
template <class V>
constexpr bool IsComponentPointer =
    std::is_pointer_v<V>&& std::is_base_of_v<TComponent, std::remove_pointer_t<V>>;

/// Value as the pointer type V, or raises EComponentError naming Expected.
template <class V>
V ComponentAs(TComponent* value, const std::string& Where);

template <class V>
long long ToOrd(V value) {
  if constexpr (std::is_enum_v<V>) {
    return static_cast<long long>(static_cast<std::underlying_type_t<V>>(value));
  } else {
    return static_cast<long long>(value);
  }
}
template <class V>
V FromOrd(long long value) {
  if constexpr (std::is_enum_v<V>) {
    return static_cast<V>(static_cast<std::underlying_type_t<V>>(value));
  } else {
    return static_cast<V>(value);
  }
}
}  // namespace framework_detail

/// The enumerator or set member names of an ordinal property, ordinal n at index n: a braced
/// list in place, or a list made from a table.
using TNameList = std::vector<const char*>;

/// Fluent builder of a TClassInfo for class T. Used only to initialise a static TClassInfo
/// (the builder is sliced into it).
template <class T>
class TClassBuilder : public TClassInfo {
 public:
  /// A property of kind integer, bool, char, string or string list (deduced from the value).
  template <class G, class S>
  TClassBuilder& Property(std::string Name, G Getter, S Setter) {
    TPropInfo p = Plain<G>(std::move(Name), Getter);
    using V = framework_detail::ValueOf<T, G>;
    if constexpr (std::is_same_v<V, std::string>) {
      p.SetStr = [Setter](TObject& o, const std::string& v) {
        framework_detail::Write<T>(Setter, o, v);
      };
    } else if constexpr (std::is_same_v<V, TStringItems>) {
      p.SetList = [Setter](TObject& o, const TStringItems& v) {
        framework_detail::Write<T>(Setter, o, v);
      };
    } else if constexpr (framework_detail::IsComponentPointer<V>) {
      p.SetComp = [Setter, where = p.Name](TObject& o, TComponent* v) {
        framework_detail::Write<T>(Setter, o, framework_detail::ComponentAs<V>(v, where));
      };
    } else {
      p.SetOrd = [Setter](TObject& o, long long v) {
        framework_detail::Write<T>(Setter, o, framework_detail::FromOrd<V>(v));
      };
    }
    AddProperty(std::move(p));
    return *this;
  }
  /// A read-only property (never written to a form description).
  template <class G>
  TClassBuilder& Property(std::string Name, G Getter) {
    AddProperty(Plain<G>(std::move(Name), Getter));
    return *this;
  }

  /// An enumeration: ordinal n is Names[n].
  template <class G, class S>
  TClassBuilder& Enum(std::string Name, G Getter, S Setter, const TNameList& Names) {
    TPropInfo p = Ordinal<G>(std::move(Name), Getter, tkEnumeration, Names);
    p.MaxValue = static_cast<long long>(Names.size()) - 1;
    p.SetOrd = OrdSetter<G>(Setter);
    AddProperty(std::move(p));
    return *this;
  }
  /// A read-only enumeration.
  template <class G>
  TClassBuilder& Enum(std::string Name, G Getter, const TNameList& Names) {
    TPropInfo p = Ordinal<G>(std::move(Name), Getter, tkEnumeration, Names);
    p.MaxValue = static_cast<long long>(Names.size()) - 1;
    AddProperty(std::move(p));
    return *this;
  }

  /// A set of an enumeration held in an unsigned integer of 8, 16 or 32 bits: bit n is Names[n].
  template <class G, class S>
  TClassBuilder& Set(std::string Name, G Getter, S Setter, const TNameList& Names) {
    TPropInfo p = SetInfo<G>(std::move(Name), Getter, Names);
    p.SetOrd = OrdSetter<G>(Setter);
    AddProperty(std::move(p));
    return *this;
  }
  /// A read-only set.
  template <class G>
  TClassBuilder& Set(std::string Name, G Getter, const TNameList& Names) {
    AddProperty(SetInfo<G>(std::move(Name), Getter, Names));
    return *this;
  }

  /// An event property: a TBoundHandler slot, read and written directly.
  template <class C, class... Args>
  TClassBuilder& Event(std::string Name, TBoundHandler<Args...> C::*Slot) {
    using Handler = TBoundHandler<Args...>;
    TPropInfo p;
    p.Name = std::move(Name);
    p.Kind = tkMethod;
    p.HandlerType = typeid(void(Args...));
    p.HandlerAssigned = [Slot](TObject& o) { return (static_cast<T&>(o).*Slot).Assigned(); };
    p.HandlerName = [Slot](TObject& o) { return (static_cast<T&>(o).*Slot).MethodName(); };
    p.SetHandler = [Slot](TObject& o, std::any call, TObject* target, const std::string& name) {
      static_cast<T&>(o).*Slot = Handler::Published(
          target, name, std::any_cast<typename Handler::Function>(std::move(call)));
    };
    p.ClearHandler = [Slot](TObject& o) { (static_cast<T&>(o).*Slot).Clear(); };
    AddProperty(std::move(p));
    return *this;
  }

  /// A published method that event properties of a form description can name.
  template <class C, class... Args>
  TClassBuilder& Method(std::string Name, void (C::*Member)(Args...)) {
    TMethodInfo m;
    m.Name = std::move(Name);
    m.Signature = typeid(void(Args...));
    m.Bind = [Member](TObject& self) {
      T* object = &static_cast<T&>(self);
      return std::any(std::function<void(Args...)>(
          [object, Member](Args... args) { (object->*Member)(args...); }));
    };
    AddMethod(std::move(m));
    return *this;
  }

  /// A published field: the root's pointer to the component it owns under the field's name.
  template <class C, class V>
  TClassBuilder& Field(std::string Name, V* C::*Member) {
    static_assert(std::is_base_of_v<TComponent, V>, "a published field points to a component");
    TFieldInfo f;
    f.Name = Name;
    f.ClassName = V::ClassInfo().Name();
    f.Assign = [Member, Name](TObject& self, TComponent* value) {
      static_cast<T&>(self).*Member = framework_detail::ComponentAs<V*>(value, Name);
    };
    f.Get = [Member](TObject& self) -> TComponent* { return static_cast<T&>(self).*Member; };
    AddField(std::move(f));
    return *this;
  }

  /// Declared default of the property added (or redeclared) last (ordinal kinds).
  TClassBuilder& Default(long long Value) {
    LastProperty().Default = Value;
    return *this;
  }
  /// Names for particular values of the integer property added last (read and written by name).
  TClassBuilder& Idents(std::initializer_list<std::pair<const char*, long long>> Values) {
    for (const auto& [name, value] : Values) LastProperty().Idents.emplace_back(name, value);
    return *this;
  }
  /// The same from a table shared by several properties (colours, character sets).
  TClassBuilder& Idents(const std::vector<std::pair<std::string, long long>>& Values) {
    for (const auto& [name, value] : Values) LastProperty().Idents.emplace_back(name, value);
    return *this;
  }

 private:
  friend class TClassInfo;

  template <class G>
  static TPropInfo Plain(std::string Name, G Getter) {
    using V = framework_detail::ValueOf<T, G>;
    TPropInfo p;
    p.Name = std::move(Name);
    if constexpr (std::is_same_v<V, std::string>) {
      p.Kind = tkString;
      p.GetStr = [Getter](TObject& o) { return framework_detail::Read<T>(Getter, o); };
    } else if constexpr (std::is_same_v<V, TStringItems>) {
      p.Kind = tkStringList;
      p.GetList = [Getter](TObject& o) { return framework_detail::Read<T>(Getter, o); };
    } else if constexpr (framework_detail::IsComponentPointer<V>) {
      p.Kind = tkComponent;
      p.GetComp = [Getter](TObject& o) -> TComponent* {
        return framework_detail::Read<T>(Getter, o);
      };
    } else {
      static_assert(!std::is_enum_v<V>, "enumerations are published with Enum() or Set()");
      static_assert(std::is_integral_v<V>, "unsupported published property type");
      static_assert(sizeof(V) <= 4 || std::is_signed_v<V>, "unsigned 64-bit is not supported");
      if constexpr (std::is_same_v<V, bool>) {
        p.Kind = tkBool;
        p.MaxValue = 1;
      } else if constexpr (std::is_same_v<V, char>) {
        p.Kind = tkChar;
        p.MaxValue = 255;
      } else {
        p.Kind = tkInteger;
        // NOLINTNEXTLINE(bugprone-signed-char-misuse): a signed char property's limits are signed
        p.MinValue = static_cast<long long>(std::numeric_limits<V>::min());
        p.MaxValue = static_cast<long long>(std::numeric_limits<V>::max());
      }
      p.GetOrd = [Getter](TObject& o) {
        V v = framework_detail::Read<T>(Getter, o);
        if constexpr (std::is_same_v<V, char>)
          return static_cast<long long>(static_cast<unsigned char>(v));
        return static_cast<long long>(v);
      };
    }
    return p;
  }

  template <class G>
  static TPropInfo Ordinal(std::string Name, G Getter, TTypeKind Kind, const TNameList& Names) {
    using V = framework_detail::ValueOf<T, G>;
    static_assert(std::is_enum_v<V> || std::is_integral_v<V>, "ordinal type expected");
    TPropInfo p;
    p.Name = std::move(Name);
    p.Kind = Kind;
    for (const char* n : Names) p.Names.emplace_back(n);
    p.GetOrd = [Getter](TObject& o) {
      return framework_detail::ToOrd(framework_detail::Read<T>(Getter, o));
    };
    return p;
  }

  template <class G>
  static TPropInfo SetInfo(std::string Name, G Getter, const TNameList& Names) {
    using V = framework_detail::ValueOf<T, G>;
    static_assert(std::is_integral_v<V> && std::is_unsigned_v<V> && sizeof(V) <= 4,
                  "a set is held in an unsigned integer of 8, 16 or 32 bits");
    TPropInfo p = Ordinal<G>(std::move(Name), Getter, tkSet, Names);
    p.SetBits = static_cast<int>(sizeof(V) * 8);
    p.MaxValue = static_cast<long long>(std::numeric_limits<V>::max());
    return p;
  }

  template <class G, class S>
  static std::function<void(TObject&, long long)> OrdSetter(S Setter) {
    using V = framework_detail::ValueOf<T, G>;
    return [Setter](TObject& o, long long v) {
      framework_detail::Write<T>(Setter, o, framework_detail::FromOrd<V>(v));
    };
  }
};

template <class T, class Base>
TClassBuilder<T> TClassInfo::Derived(std::string Name) {
  static_assert(std::is_base_of_v<Base, T>, "Base must be a base class of T");
  static_assert(std::is_base_of_v<TComponent, T>, "described classes derive from TComponent");
  TClassBuilder<T> b = Root<T>(std::move(Name));
  const TClassInfo& parent = Base::ClassInfo();
  b.FParent = &parent;
  b.FProperties = parent.FProperties;
  b.FMethods = parent.FMethods;
  b.FFields = parent.FFields;
  return b;
}

template <class T>
// NOLINTNEXTLINE(performance-unnecessary-value-param): Name is moved from below.
TClassBuilder<T> TClassInfo::Root(std::string Name) {
  TClassBuilder<T> b;
  b.FName = std::move(Name);
  if constexpr (std::is_constructible_v<T, TComponent*> && !std::is_abstract_v<T>) {
    b.FFactory = [](TComponent* AOwner) -> TComponent* { return new T(AOwner); };
  }
  return b;
}

// ---- Components -------------------------------------------------------------------------------

/// What TComponent::Notification reports: a component inserted into or removed from a list.
enum TOperation { opInsert, opRemove };

/// Component state bits.
constexpr unsigned csLoading = 0x1;     ///< being built from a form description
constexpr unsigned csDestroying = 0x2;  ///< its destructor is running

/// Base of every component: owner-based lifetime, a name unique among its owner's components,
/// and the published properties Name and Tag. All operations belong to the thread that owns
/// the component (normally the main thread).
class COMM_FRAMEWORK_API TComponent : public TObject {
 public:
  /// The virtual constructor: every component class has one with this signature; the owner
  /// (may be null) takes the new component into its list and destroys it with itself.
  explicit TComponent(TComponent* AOwner);
  /// Destroys the owned components (see DestroyComponents), then leaves the owner's list.
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  /// The owner, null for none.
  TComponent* Owner() const { return FOwner; }
  /// The component's name (empty unless set).
  const std::string& GetName() const { return FName; }
  /// A name is empty or an identifier (letter or _, then letters, digits, _), unique among the
  /// owner's components ignoring case; anything else raises EComponentError.
  virtual void SetName(const std::string& NewName);
  /// Tag: an integer for the program's own use (0 unless set).
  int GetTag() const { return FTag; }
  /// Sets Tag.
  void SetTag(int Value) { FTag = Value; }

  /// The number of owned components.
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const;  ///< raises EComponentError when out of range
  /// The owned component of that name (ASCII case ignored), or null; null for an empty name.
  TComponent* FindComponent(const std::string& AName) const;
  /// Takes AComponent into this component's list (it leaves its previous owner).
  void InsertComponent(TComponent* AComponent);
  /// Takes AComponent out of this component's list (it then has no owner); nothing is destroyed.
  void RemoveComponent(TComponent* AComponent);

  /// Destroys the owned components, last inserted first; each one's BeforeDestruction runs first,
  /// while it and its siblings still exist.
  void DestroyComponents();
  /// Runs once the most-derived constructor has finished, when the component is made by a
  /// creation function that knows its final class (TApplication::CreateForm, a form's Create).
  virtual void AfterConstruction() {}
  /// Runs before the destructor when the owner destroys the component (DestroyComponents), so a
  /// derived class can still act on its whole self (a form calls its OnDestroy here).
  virtual void BeforeDestruction() {}

  /// The state bits, csLoading and csDestroying.
  unsigned ComponentState() const { return FState; }
  /// Called once after a form description has been read completely.
  virtual void Loaded();
  /// Visual nesting in form descriptions (controls inside panels). Non-visual components have
  /// none; the form reader calls SetParentComponent with the enclosing object.
  virtual TComponent* GetParentComponent() const { return nullptr; }
  /// Sets the visual parent; does nothing for a non-visual component.
  virtual void SetParentComponent(TComponent* /*Parent*/) {}

  /// The class description: the published properties Name and Tag.
  static const TClassInfo& ClassInfo();
  /// The description of the object's most-derived class (each class overrides it).
  virtual const TClassInfo& GetClassInfo() const { return ClassInfo(); }
  /// The name of the object's most-derived class.
  const std::string& ClassName() const { return GetClassInfo().Name(); }

 protected:
  /// Told when a component is inserted into or removed from this component's list. The base
  /// passes a removal on to every owned component, so a sibling that refers to the removed one
  /// (an image list, say) can drop its reference.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  friend class TFormReader;
  void SetState(unsigned Bits, bool On) { FState = On ? (FState | Bits) : (FState & ~Bits); }

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  /// Name().
  std::string FName;
  int FTag = 0;
  unsigned FState = 0;
};

// ---- Class registry ---------------------------------------------------------------------------

/// Makes a class creatable by name (form reader). Registering the same class twice is harmless;
/// a different class under a taken name raises EComponentError.
COMM_FRAMEWORK_API void RegisterClass(const TClassInfo& Info);
/// RegisterClass(T::ClassInfo()).
template <class T>
void RegisterClass() {
  RegisterClass(T::ClassInfo());
}
/// The registered class of that name (ASCII case ignored), or null.
COMM_FRAMEWORK_API const TClassInfo* FindClass(const std::string& Name);

template <class V>
V framework_detail::ComponentAs(TComponent* value, const std::string& Where) {
  if (value == nullptr) return nullptr;
  auto* typed = dynamic_cast<V>(value);
  if (typed == nullptr)
    throw EComponentError(Where + " needs a " + std::remove_pointer_t<V>::ClassInfo().Name() +
                          ", not the " + value->ClassName() + " " + value->GetName());
  return typed;
}
