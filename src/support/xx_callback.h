// Binds an object to one of its member functions so that a thread object can run it.
#pragma once

template <typename Argument>
class xxCallbackBase {
public:
    virtual void call(Argument argument) = 0;
    // A new heap copy, owned by the caller.
    virtual xxCallbackBase* clone() const = 0;
    // Copies are freed through this interface.
    virtual ~xxCallbackBase() = default;
};

template <typename Argument, typename T>
class xxCallback : public xxCallbackBase<Argument> {
public:
    using Method = void (T::*)(Argument);

    xxCallback(T* object, Method method) : object(object), method(method) {}

    void call(Argument argument) override
    {
        if (method) (object->*method)(argument);
    }
    xxCallbackBase<Argument>* clone() const override { return new xxCallback(*this); }

    T* object;
    Method method;
};
